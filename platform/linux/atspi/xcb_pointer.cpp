#include "platform/linux/atspi/xcb_pointer.h"

#include <cstdlib>

namespace kelvane::platform::atspi {

XcbPointer::~XcbPointer() {
    disconnect();
}

bool XcbPointer::connect() {
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
    return true;
}

void XcbPointer::disconnect() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
    }
}

std::optional<ScreenPoint> XcbPointer::position() {
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

}  // namespace kelvane::platform::atspi
