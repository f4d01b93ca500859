#include "platform/linux/atspi/x_pointer_window.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kelvane::platform::atspi {
namespace {

// Window managers nest client windows a level or two inside their frames; this is
// deeper than any of them.
constexpr int maxFrameDepth = 8;

}  // namespace

XPointerWindow::~XPointerWindow() {
    disconnect();
}

bool XPointerWindow::connect() {
    if (connection_ != nullptr && xcb_connection_has_error(connection_) == 0) {
        return true;
    }
    disconnect();
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection_) != 0) {
        disconnect();
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        disconnect();
        return false;
    }
    root_ = screens.data->root;
    wmState_ = atom("WM_STATE");
    netWmPid_ = atom("_NET_WM_PID");
    return true;
}

void XPointerWindow::disconnect() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
    }
}

xcb_atom_t XPointerWindow::atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t result = reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

bool XPointerWindow::hasProperty(xcb_window_t window, xcb_atom_t property) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
    bool present = reply != nullptr && reply->type != XCB_ATOM_NONE;
    std::free(reply);
    return present;
}

std::optional<ScreenPoint> XPointerWindow::position() {
    if (!connect()) {
        return std::nullopt;
    }
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    if (reply == nullptr) {
        return std::nullopt;
    }
    // same_screen is false when the pointer is on another screen of the display; the
    // coordinates are then meaningless for this root.
    std::optional<ScreenPoint> point;
    if (reply->same_screen != 0) {
        point = ScreenPoint{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
    }
    std::free(reply);
    return point;
}

std::optional<pid_t> XPointerWindow::topmostClientPid(int x, int y) {
    if (!connect() || x < INT16_MIN || x > INT16_MAX || y < INT16_MIN || y > INT16_MAX) {
        return std::nullopt;
    }
    // The topmost mapped child of the root at the point, then down through the window
    // manager's frame to the window that carries WM_STATE: the client. Without a window
    // manager nobody sets WM_STATE and the root's child is the client itself.
    auto childAt = [&](xcb_window_t parent) {
        xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
            connection_,
            xcb_translate_coordinates(connection_, root_, parent, static_cast<int16_t>(x), static_cast<int16_t>(y)),
            nullptr);
        xcb_window_t child = reply != nullptr ? reply->child : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
        std::free(reply);
        return child;
    };
    const xcb_window_t topLevel = childAt(root_);
    if (topLevel == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    xcb_window_t window = topLevel;
    for (int depth = 0; depth < maxFrameDepth && !hasProperty(window, wmState_); ++depth) {
        window = childAt(window);
        if (window == XCB_WINDOW_NONE) {
            window = topLevel;
            break;
        }
    }
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, netWmPid_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    std::optional<pid_t> pid;
    if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) == 4) {
        pid = static_cast<pid_t>(*static_cast<const uint32_t*>(xcb_get_property_value(reply)));
    }
    std::free(reply);
    return pid;
}

}  // namespace kelvane::platform::atspi
