#pragma once
// What the X display says about the pointer: where it is, and which application's
// window is topmost at a point (the pid its client window advertises).
#include <sys/types.h>

#include <memory>
#include <optional>

#include <xcb/xcb.h>

#include "platform/accessibility.h"
#include "platform/linux/x11/x_connection.h"

namespace kelvane::platform::atspi {

class XPointerWindow {
public:
    XPointerWindow() = default;
    XPointerWindow(const XPointerWindow&) = delete;
    XPointerWindow& operator=(const XPointerWindow&) = delete;

    // Root-window coordinates of the pointer; nothing without a display or when it does
    // not answer. A lost connection is opened again on the next call.
    std::optional<ScreenPoint> position();

    // The process id (_NET_WM_PID) of the topmost client window at that root point;
    // nothing when no client window is there or it does not say.
    std::optional<pid_t> topmostClientPid(int x, int y);

private:
    bool connect();
    std::optional<pid_t> readTopmostClientPid(int x, int y);
    bool hasProperty(xcb_window_t window, xcb_atom_t property);

    std::unique_ptr<x11::XConnection> connection_;
    xcb_atom_t wmState_ = XCB_ATOM_NONE;
    xcb_atom_t netWmPid_ = XCB_ATOM_NONE;
};

}  // namespace kelvane::platform::atspi
