#pragma once
// The system pointer's position on the X display named by DISPLAY.
#include <optional>

#include <xcb/xcb.h>

#include "platform/accessibility.h"

namespace kelvane::platform::atspi {

class XcbPointer {
public:
    XcbPointer() = default;
    XcbPointer(const XcbPointer&) = delete;
    XcbPointer& operator=(const XcbPointer&) = delete;
    ~XcbPointer();

    // Root-window coordinates of the pointer; nothing without a display. A lost
    // connection is opened again on the next call.
    std::optional<ScreenPoint> position();

private:
    bool connect();
    void disconnect();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

}  // namespace kelvane::platform::atspi
