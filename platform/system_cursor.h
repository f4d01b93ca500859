#pragma once
// The cursor the system shows right now, as an image in points at scale 1 with its
// hotspot measured from the top-left corner.
#include <memory>
#include <optional>

#include "platform/cursor_image.h"

namespace kelvane::platform {

class SystemCursor {
public:
    virtual ~SystemCursor() = default;
    // The current cursor's image, read afresh; nothing when it cannot be read (no display
    // server reachable, connection lost, the server refuses).
    virtual std::optional<CursorImage> current() = 0;
};

// The backend for this platform. Connects to the display server lazily, on first use.
std::unique_ptr<SystemCursor> makeSystemCursor();

}  // namespace kelvane::platform
