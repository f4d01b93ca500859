#include "cursor-watch/cursor_matching.h"

#include <cstdlib>
#include <utility>

#include "cursor-watch/cursor_names.h"

namespace kelvane::cursorwatch {
namespace {

constexpr std::string_view arrowName = "arrow";

template <std::size_t N>
std::optional<std::int64_t> thresholdFor(const NamedThreshold (&table)[N], std::string_view name) {
    for (const NamedThreshold& entry : table) {
        if (entry.name == name) return entry.limit;
    }
    return std::nullopt;
}

// The cursor as if `bitmap` were its image at scale 1, the hotspot scaled with it.
platform::CursorImage atSizeOf(const platform::CursorImage& image, const platform::CursorBitmap& bitmap) {
    platform::CursorImage sized;
    sized.pointWidth = bitmap.pixelWidth;
    sized.pointHeight = bitmap.pixelHeight;
    sized.hotspotX = image.hotspotX * bitmap.pixelWidth / image.pointWidth;
    sized.hotspotY = image.hotspotY * bitmap.pixelHeight / image.pointHeight;
    sized.representations.push_back(bitmap);
    return sized;
}

std::vector<SizedCursorSignature> signaturesOfEverySize(const platform::CursorImage& image) {
    std::vector<SizedCursorSignature> sizes;
    for (const platform::CursorBitmap& bitmap : image.representations) {
        std::optional<CursorSignature> computed = signature(atSizeOf(image, bitmap), defaultSignatureSampleSize);
        if (computed) sizes.push_back({bitmap.pixelWidth, bitmap.pixelHeight, std::move(*computed)});
    }
    return sizes;
}

}  // namespace

std::vector<KnownCursorSignature> knownCursorSignatures(platform::StandardCursors& cursors) {
    std::vector<KnownCursorSignature> known;
    for (const CursorCandidate& candidate : knownCursorCandidateTable) {
        const std::optional<platform::CursorImage> image = cursors.image(candidate.cursor);
        if (!image) continue;
        std::optional<CursorSignature> computed = signature(*image, defaultSignatureSampleSize);
        if (!computed) continue;
        known.push_back({std::string(candidate.name), std::move(*computed), signaturesOfEverySize(*image)});
    }
    return known;
}

const CursorSignature& signatureForShownSize(const KnownCursorSignature& known, int pixelWidth, int pixelHeight) {
    const CursorSignature* chosen = &known.signature;
    if (pixelWidth <= 0 || pixelHeight <= 0) return *chosen;
    auto distance = [&](int width, int height) { return std::abs(width - pixelWidth) + std::abs(height - pixelHeight); };
    int chosenDistance = -1;
    for (const SizedCursorSignature& sized : known.sizes) {
        const int d = distance(sized.pixelWidth, sized.pixelHeight);
        if (chosenDistance < 0 || d < chosenDistance) {
            chosen = &sized.signature;
            chosenDistance = d;
        }
    }
    return *chosen;
}

std::optional<SignatureMatch> bestSignatureMatch(const std::vector<KnownCursorSignature>& known,
                                                 const CursorSignature& current, int shownPixelWidth,
                                                 int shownPixelHeight) {
    std::optional<SignatureMatch> best;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const CursorSignature& candidate = signatureForShownSize(known[i], shownPixelWidth, shownPixelHeight);
        const std::int64_t score = signatureScore(current, candidate);
        if (!best || score < best->score) best = SignatureMatch{i, score};
    }
    return best;
}

bool signatureMatchAccepted(std::string_view name, std::int64_t score) {
    const std::int64_t limit =
        thresholdFor(strictSignatureAcceptanceThresholds, name).value_or(signatureAcceptanceThreshold);
    if (score <= limit) return true;
    const std::optional<std::int64_t> relaxed = thresholdFor(relaxedSignatureAcceptanceThresholds, name);
    return relaxed && score <= *relaxed;
}

CursorTypeClassifier::CursorTypeClassifier(std::vector<KnownCursorSignature> known, CursorReader readCurrentCursor,
                                           AccessibilityMatch accessibilityCursorMatch)
    : known_(std::move(known)),
      readCurrentCursor_(std::move(readCurrentCursor)),
      accessibilityCursorMatch_(std::move(accessibilityCursorMatch)) {}

std::string CursorTypeClassifier::currentSystemCursorType() {
    const std::optional<platform::CursorImage> cursor = readCurrentCursor_();
    if (!cursor) return fallbackType();
    const std::optional<CursorSignature>& current = memo_.signatureOf(*cursor);
    if (!current) return fallbackType();
    const platform::CursorBitmap& shown = cursor->representations.front();
    const std::optional<SignatureMatch> best = bestSignatureMatch(known_, *current, shown.pixelWidth, shown.pixelHeight);
    if (!best) return fallbackType();

    const std::string& name = known_[best->index].name;
    // A cursor that was drawn but resembles nothing closely enough is most likely an
    // application's own arrow variant; the accessibility tree would only guess here.
    return signatureMatchAccepted(name, best->score) ? name : std::string(arrowName);
}

std::string CursorTypeClassifier::fallbackType() const {
    if (accessibilityCursorMatch_) {
        std::optional<std::string> probed = accessibilityCursorMatch_();
        if (probed && !probed->empty()) return std::move(*probed);
    }
    return std::string(arrowName);
}

}  // namespace kelvane::cursorwatch
