#pragma once
// Client side of wlroots' foreign-toplevel management protocol (version 3), which lets
// a client list every application window with its title, app id, state and outputs.
// The protocol's description is not installed with Debian's Wayland packages, so its
// interfaces are written out here; only what a read-only lister needs is wrapped.
#include <wayland-client.h>

#include <cstdint>

namespace kelvane::platform::wayland {

extern const wl_interface kForeignToplevelManagerInterface;  // zwlr_foreign_toplevel_manager_v1
extern const wl_interface kForeignToplevelHandleInterface;   // zwlr_foreign_toplevel_handle_v1

// Event handlers of a window handle, in the protocol's event order.
struct ForeignToplevelHandleListener {
    void (*title)(void* data, wl_proxy* handle, const char* title);
    void (*appID)(void* data, wl_proxy* handle, const char* appID);
    void (*outputEnter)(void* data, wl_proxy* handle, wl_output* output);
    void (*outputLeave)(void* data, wl_proxy* handle, wl_output* output);
    void (*state)(void* data, wl_proxy* handle, wl_array* states);
    void (*done)(void* data, wl_proxy* handle);
    void (*closed)(void* data, wl_proxy* handle);
    void (*parent)(void* data, wl_proxy* handle, wl_proxy* parent);
};

// Event handlers of the manager: a new window handle, and the end of the list.
struct ForeignToplevelManagerListener {
    void (*toplevel)(void* data, wl_proxy* manager, wl_proxy* handle);
    void (*finished)(void* data, wl_proxy* manager);
};

// Values in a handle's state array.
enum class ForeignToplevelState : std::uint32_t { maximized = 0, minimized = 1, activated = 2, fullscreen = 3 };

// Asks the compositor to forget the handle, and frees it here.
void destroyForeignToplevelHandle(wl_proxy* handle);
// Asks the compositor to send no more windows (it answers with finished).
void stopForeignToplevelManager(wl_proxy* manager);

}  // namespace kelvane::platform::wayland
