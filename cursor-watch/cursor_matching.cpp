#include "cursor-watch/cursor_matching.h"

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

}  // namespace

std::vector<KnownCursorSignature> knownCursorSignatures(platform::StandardCursors& cursors) {
    std::vector<KnownCursorSignature> known;
    for (const CursorCandidate& candidate : knownCursorCandidateTable) {
        const std::optional<platform::CursorImage> image = cursors.image(candidate.cursor);
        if (!image) continue;
        std::optional<CursorSignature> computed = signature(*image, defaultSignatureSampleSize);
        if (!computed) continue;
        known.push_back({std::string(candidate.name), std::move(*computed)});
    }
    return known;
}

std::optional<SignatureMatch> bestSignatureMatch(const std::vector<KnownCursorSignature>& known,
                                                 const CursorSignature& current) {
    std::optional<SignatureMatch> best;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const std::int64_t score = signatureScore(current, known[i].signature);
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
    const std::optional<SignatureMatch> best = bestSignatureMatch(known_, *current);
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
