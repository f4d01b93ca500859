#pragma once
// Naming the current cursor: its signature against the known cursors' signatures, each
// name accepted only within its own distance limit, with the accessibility probe as the
// fallback when the cursor cannot be read or drawn.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cursor-watch/cursor_signature.h"
#include "cursor-watch/signature_memo.h"
#include "platform/cursor_image.h"
#include "platform/standard_cursors.h"

namespace kelvane::cursorwatch {

inline constexpr std::int64_t signatureAcceptanceThreshold = 12000;

struct NamedThreshold {
    std::string_view name;
    std::int64_t limit;
};
// Replace the default limit for their names: the hands differ from each other and from
// the pointing hand by little, so only a close match counts.
inline constexpr NamedThreshold strictSignatureAcceptanceThresholds[] = {{"open-hand", 3200},
                                                                         {"closed-hand", 3200}};
// A second, looser test for their names: thin shapes lose much of their mask when a
// theme draws them a little differently.
inline constexpr NamedThreshold relaxedSignatureAcceptanceThresholds[] = {{"text", 28000}, {"crosshair", 32000}};

// A known cursor drawn from one of the sizes its theme file holds.
struct SizedCursorSignature {
    int pixelWidth = 0;
    int pixelHeight = 0;
    CursorSignature signature;
};

struct KnownCursorSignature {
    std::string name;
    CursorSignature signature;  // from the theme's default size
    // From every size the theme has; a theme draws each size on its own, so a cursor
    // the server shows at one size matches exactly only that size's drawing.
    std::vector<SizedCursorSignature> sizes = {};
};

// One entry per candidate whose image gives a signature, in candidate order; read once.
std::vector<KnownCursorSignature> knownCursorSignatures(platform::StandardCursors& cursors);

// The signature to hold against a cursor shown `pixelWidth` x `pixelHeight`: the one
// drawn from the theme's size nearest to it, the default size when none is nearer.
const CursorSignature& signatureForShownSize(const KnownCursorSignature& known, int pixelWidth, int pixelHeight);

struct SignatureMatch {
    std::size_t index;  // into the known list
    std::int64_t score;
};
// The known entry nearest to `current`, a cursor shown at that pixel size (0 x 0: at
// the theme's default size); among equal scores the earliest wins.
std::optional<SignatureMatch> bestSignatureMatch(const std::vector<KnownCursorSignature>& known,
                                                 const CursorSignature& current, int shownPixelWidth = 0,
                                                 int shownPixelHeight = 0);

// Whether a best match of `name` at `score` is close enough to report.
bool signatureMatchAccepted(std::string_view name, std::int64_t score);

class CursorTypeClassifier {
public:
    using CursorReader = std::function<std::optional<platform::CursorImage>()>;
    using AccessibilityMatch = std::function<std::optional<std::string>()>;

    CursorTypeClassifier(std::vector<KnownCursorSignature> known, CursorReader readCurrentCursor,
                         AccessibilityMatch accessibilityCursorMatch);

    // A cursor name, never empty. One call at a time.
    std::string currentSystemCursorType();

private:
    std::string fallbackType() const;

    std::vector<KnownCursorSignature> known_;
    CursorReader readCurrentCursor_;
    AccessibilityMatch accessibilityCursorMatch_;
    SignatureMemo memo_;
};

}  // namespace kelvane::cursorwatch
