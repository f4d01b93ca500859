#include "testing/window_maker/x_session.h"

#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace kelvane::testing {

XSession::XSession() {
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        const char* display = std::getenv("DISPLAY");
        throw std::runtime_error(std::string("cannot connect to the X server at DISPLAY=") + (display ? display : "(unset)"));
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    screen_ = screens.data;
    // XFixes answers nothing until the client has told it which version it speaks.
    std::free(xcb_xfixes_query_version_reply(
        connection_, xcb_xfixes_query_version(connection_, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION), nullptr));
}

XSession::~XSession() { xcb_disconnect(connection_); }

xcb_atom_t XSession::atom(const std::string& name) {
    auto cached = atoms_.find(name);
    if (cached != atoms_.end()) return cached->second;
    xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.data());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection_, cookie, nullptr), &std::free);
    xcb_atom_t value = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    atoms_[name] = value;
    return value;
}

std::optional<std::vector<uint32_t>> XSession::words(xcb_window_t window, const std::string& property) {
    xcb_get_property_cookie_t cookie =
        xcb_get_property(connection_, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection_, cookie, nullptr), &std::free);
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 32) return std::nullopt;
    auto* items = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(items, items + xcb_get_property_value_length(reply.get()) / 4);
}

bool XSession::hasWindowManager() {
    auto check = words(root(), "_NET_SUPPORTING_WM_CHECK");
    if (!check || check->empty()) return false;
    // The check window must exist and point at itself; a stale property from a
    // window manager that has gone does not count.
    auto self = words(check->front(), "_NET_SUPPORTING_WM_CHECK");
    return self && !self->empty() && self->front() == check->front();
}

void XSession::askWindowManager(xcb_window_t window, const std::string& messageType, std::array<uint32_t, 5> data) {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(messageType);
    std::memcpy(event.data.data32, data.data(), sizeof(uint32_t) * data.size());
    xcb_send_event(connection_, 0, root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection_);
}

void XSession::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

}  // namespace kelvane::testing
