#include "platform/linux/atspi/x_pointer_window.h"

#include <cstdint>
#include <vector>

namespace kelvane::platform::atspi {
namespace {

// Window managers nest client windows a level or two inside their frames; this is
// deeper than any of them.
constexpr int maxFrameDepth = 8;

}  // namespace

bool XPointerWindow::connect() {
    if (connection_ && xcb_connection_has_error(connection_->get()) == 0) return true;
    connection_.reset();
    try {
        auto candidate = std::make_unique<x11::XConnection>();
        const std::vector<xcb_atom_t> atoms = candidate->internAtoms({"WM_STATE", "_NET_WM_PID"});
        wmState_ = atoms[0];
        netWmPid_ = atoms[1];
        connection_ = std::move(candidate);
        return true;
    } catch (const x11::XConnectionError&) {
        return false;
    }
}

bool XPointerWindow::hasProperty(xcb_window_t window, xcb_atom_t property) {
    const auto reply = connection_->reply<xcb_get_property_reply_t>(
        xcb_get_property(connection_->get(), 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
    return reply && reply->type != XCB_ATOM_NONE;
}

std::optional<ScreenPoint> XPointerWindow::position() {
    if (!connect()) return std::nullopt;
    try {
        const auto reply = connection_->reply<xcb_query_pointer_reply_t>(
            xcb_query_pointer(connection_->get(), connection_->root()));
        // same_screen is false when the pointer is on another screen of the display; the
        // coordinates are then meaningless for this root.
        if (!reply || reply->same_screen == 0) return std::nullopt;
        return ScreenPoint{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
    } catch (const x11::XConnectionError&) {
        connection_.reset();
        return std::nullopt;
    }
}

std::optional<pid_t> XPointerWindow::topmostClientPid(int x, int y) {
    if (!connect() || x < INT16_MIN || x > INT16_MAX || y < INT16_MIN || y > INT16_MAX) return std::nullopt;
    try {
        return readTopmostClientPid(x, y);
    } catch (const x11::XConnectionError&) {
        connection_.reset();
        return std::nullopt;
    }
}

std::optional<pid_t> XPointerWindow::readTopmostClientPid(int x, int y) {
    xcb_connection_t* c = connection_->get();
    const xcb_window_t root = connection_->root();
    // The topmost mapped child of the root at the point, then down through the window
    // manager's frame to the window that carries WM_STATE: the client. Without a window
    // manager nobody sets WM_STATE and the root's child is the client itself.
    auto childAt = [&](xcb_window_t parent) {
        const auto reply = connection_->reply<xcb_translate_coordinates_reply_t>(
            xcb_translate_coordinates(c, root, parent, static_cast<int16_t>(x), static_cast<int16_t>(y)));
        return reply ? reply->child : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
    };
    const xcb_window_t topLevel = childAt(root);
    if (topLevel == XCB_WINDOW_NONE) return std::nullopt;
    xcb_window_t window = topLevel;
    for (int depth = 0; depth < maxFrameDepth && !hasProperty(window, wmState_); ++depth) {
        window = childAt(window);
        if (window == XCB_WINDOW_NONE) {
            window = topLevel;
            break;
        }
    }
    const auto reply = connection_->reply<xcb_get_property_reply_t>(
        xcb_get_property(c, 0, window, netWmPid_, XCB_ATOM_CARDINAL, 0, 1));
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 4) {
        return static_cast<pid_t>(*static_cast<const uint32_t*>(xcb_get_property_value(reply.get())));
    }
    return std::nullopt;
}

}  // namespace kelvane::platform::atspi
