#include "platform/linux/x11/x_connection.h"

namespace kelvane::platform::x11 {

namespace {

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

}  // namespace

std::string describeConnectionError(int code) {
    switch (code) {
        case XCB_CONN_ERROR:
            return "no X server answers there, or it refused the connection";
        case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
            return "the X server lacks an extension this program needs";
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
            return "out of memory";
        case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
            return "a request was longer than the X server accepts";
        case XCB_CONN_CLOSED_PARSE_ERR:
            return "the display name is not valid";
        case XCB_CONN_CLOSED_INVALID_SCREEN:
            return "the display has no such screen";
        default:
            return "the connection failed (xcb error " + std::to_string(code) + ")";
    }
}

XConnection::XConnection(std::string displayName) : displayName_(std::move(displayName)) {
    if (displayName_.empty()) {
        const char* fromEnvironment = std::getenv("DISPLAY");
        if (fromEnvironment == nullptr || *fromEnvironment == '\0') {
            throw XConnectionError("Cannot open the X display: DISPLAY is not set");
        }
        displayName_ = fromEnvironment;
    }
    int screenNumber = 0;
    connection_ = xcb_connect(displayName_.c_str(), &screenNumber);
    if (const int code = xcb_connection_has_error(connection_); code != 0) {
        xcb_disconnect(connection_);
        throw XConnectionError("Cannot open X display " + quoted(displayName_) + ": " + describeConnectionError(code));
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection_);
        throw XConnectionError("Cannot open X display " + quoted(displayName_) + ": " +
                               describeConnectionError(XCB_CONN_CLOSED_INVALID_SCREEN));
    }
    screen_ = screens.data;
}

XConnection::~XConnection() { xcb_disconnect(connection_); }

std::vector<xcb_atom_t> XConnection::internAtoms(const std::vector<std::string_view>& names) const {
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(names.size());
    for (std::string_view name : names) {
        cookies.push_back(xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()));
    }
    std::vector<xcb_atom_t> atoms;
    atoms.reserve(names.size());
    for (xcb_intern_atom_cookie_t cookie : cookies) {
        XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
        atoms.push_back(reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE));
    }
    return atoms;
}

void XConnection::throwIfBroken() const {
    if (const int code = xcb_connection_has_error(connection_); code != 0) {
        throw XConnectionError("Lost the connection to X display " + quoted(displayName_) + ": " +
                               describeConnectionError(code));
    }
}

}  // namespace kelvane::platform::x11
