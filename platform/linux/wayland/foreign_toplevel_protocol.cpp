#include "platform/linux/wayland/foreign_toplevel_protocol.h"

namespace kelvane::platform::wayland {

namespace {

// Argument types of messages that carry objects, one entry per argument.
const wl_interface* const kHandleType[] = {&kForeignToplevelHandleInterface};
const wl_interface* const kOutputType[] = {&wl_output_interface};
const wl_interface* const kSeatType[] = {&wl_seat_interface};
const wl_interface* const kRectangleTypes[] = {&wl_surface_interface, nullptr, nullptr, nullptr, nullptr};

// wl_message wants non-const type arrays; libwayland only reads them.
const wl_interface** types(const wl_interface* const* list) { return const_cast<const wl_interface**>(list); }

const wl_message kManagerRequests[] = {
    {"stop", "", nullptr},
};
const wl_message kManagerEvents[] = {
    {"toplevel", "n", types(kHandleType)},
    {"finished", "", nullptr},
};

const wl_message kHandleRequests[] = {
    {"set_maximized", "", nullptr},
    {"unset_maximized", "", nullptr},
    {"set_minimized", "", nullptr},
    {"unset_minimized", "", nullptr},
    {"activate", "o", types(kSeatType)},
    {"close", "", nullptr},
    {"set_rectangle", "oiiii", types(kRectangleTypes)},
    {"destroy", "", nullptr},
    {"set_fullscreen", "2?o", types(kOutputType)},
    {"unset_fullscreen", "2", nullptr},
};
const wl_message kHandleEvents[] = {
    {"title", "s", nullptr},
    {"app_id", "s", nullptr},
    {"output_enter", "o", types(kOutputType)},
    {"output_leave", "o", types(kOutputType)},
    {"state", "a", nullptr},
    {"done", "", nullptr},
    {"closed", "", nullptr},
    {"parent", "3?o", types(kHandleType)},
};

constexpr std::uint32_t kDestroyRequest = 7;
constexpr std::uint32_t kStopRequest = 0;

}  // namespace

const wl_interface kForeignToplevelManagerInterface = {
    "zwlr_foreign_toplevel_manager_v1", 3, 1, kManagerRequests, 2, kManagerEvents,
};
const wl_interface kForeignToplevelHandleInterface = {
    "zwlr_foreign_toplevel_handle_v1", 3, 10, kHandleRequests, 8, kHandleEvents,
};

void destroyForeignToplevelHandle(wl_proxy* handle) {
    wl_proxy_marshal_flags(handle, kDestroyRequest, nullptr, wl_proxy_get_version(handle), WL_MARSHAL_FLAG_DESTROY);
}

void stopForeignToplevelManager(wl_proxy* manager) {
    wl_proxy_marshal_flags(manager, kStopRequest, nullptr, wl_proxy_get_version(manager), 0);
}

}  // namespace kelvane::platform::wayland
