#pragma once
// The cursor-name vocabulary shared by the cursor monitor and the cursor asset exporter:
// the names the host receives, which standard cursors the monitor matches to each
// name, and which cursor's image stands for each name when images are exported.
#include <array>
#include <string_view>

#include "platform/standard_cursors.h"

namespace kelvane::cursorwatch {

using platform::StandardCursor;

inline constexpr std::array<std::string_view, 9> cursorNames = {
    "arrow", "text", "pointer", "crosshair", "open-hand", "closed-hand", "resize-ew", "resize-ns", "not-allowed",
};

struct CursorCandidate {
    std::string_view name;
    StandardCursor cursor;
};

// The candidates for matching, in the order that decides ties.
inline constexpr std::array<CursorCandidate, 17> knownCursorCandidateTable = {{
    {"arrow", StandardCursor::arrow},
    {"text", StandardCursor::iBeam},
    {"pointer", StandardCursor::pointingHand},
    {"pointer", StandardCursor::dragCopy},
    {"pointer", StandardCursor::dragLink},
    {"pointer", StandardCursor::contextualMenu},
    {"crosshair", StandardCursor::crosshair},
    {"open-hand", StandardCursor::openHand},
    {"closed-hand", StandardCursor::closedHand},
    {"resize-ew", StandardCursor::resizeLeft},
    {"resize-ew", StandardCursor::resizeRight},
    {"resize-ew", StandardCursor::resizeLeftRight},
    {"resize-ns", StandardCursor::resizeUp},
    {"resize-ns", StandardCursor::resizeDown},
    {"resize-ns", StandardCursor::resizeUpDown},
    {"not-allowed", StandardCursor::operationNotAllowed},
    {"text", StandardCursor::iBeamForVerticalLayout},
}};

// The one cursor whose image is exported under each name, in vocabulary order.
inline constexpr std::array<CursorCandidate, 9> exportedCursorTable = {{
    {"arrow", StandardCursor::arrow},
    {"text", StandardCursor::iBeam},
    {"pointer", StandardCursor::pointingHand},
    {"crosshair", StandardCursor::crosshair},
    {"open-hand", StandardCursor::openHand},
    {"closed-hand", StandardCursor::closedHand},
    {"resize-ew", StandardCursor::resizeLeftRight},
    {"resize-ns", StandardCursor::resizeUpDown},
    {"not-allowed", StandardCursor::operationNotAllowed},
}};

}  // namespace kelvane::cursorwatch
