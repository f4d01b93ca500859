#pragma once
// The system's standard cursors, each with its image, read from the current cursor theme.
#include <memory>
#include <optional>

#include "platform/cursor_image.h"

namespace kelvane::platform {

enum class StandardCursor {
    arrow,
    iBeam,
    iBeamForVerticalLayout,
    pointingHand,
    dragCopy,
    dragLink,
    contextualMenu,
    crosshair,
    openHand,
    closedHand,
    resizeLeft,
    resizeRight,
    resizeLeftRight,
    resizeUp,
    resizeDown,
    resizeUpDown,
    operationNotAllowed,
};

class StandardCursors {
public:
    virtual ~StandardCursors() = default;
    // The cursor's image, read afresh on every call; nothing when the theme lacks it
    // or it cannot be read.
    virtual std::optional<CursorImage> image(StandardCursor cursor) = 0;
};

// The backend for this platform. Needs no display connection.
std::unique_ptr<StandardCursors> makeStandardCursors();

}  // namespace kelvane::platform
