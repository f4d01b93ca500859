#pragma once
// One connection to a Wayland compositor, shared by the Wayland backends: opening it
// with an error that names the display, the globals the registry announced, binding
// them, and round trips that give up after a time limit instead of hanging on a
// compositor that stopped answering.
#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvane::platform::wayland {

class WaylandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct WaylandGlobal {
    std::uint32_t name = 0;
    std::string interface;
    std::uint32_t version = 0;
};

class WaylandConnection {
public:
    // Connects to the display WAYLAND_DISPLAY names (wayland-0 when unset) and reads the
    // registry. Throws WaylandError naming the display when that fails.
    explicit WaylandConnection(std::chrono::milliseconds roundtripLimit = std::chrono::seconds(2));
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    const std::string& displayName() const { return displayName_; }
    // Globals in the order the compositor announced them.
    const std::vector<WaylandGlobal>& globals() const { return globals_; }
    // The first global of that interface, if the compositor offers one.
    const WaylandGlobal* find(const std::string& interface) const;

    // Binds `global` at the lower of its version and `maxVersion`.
    void* bind(const WaylandGlobal& global, const wl_interface* interface, std::uint32_t maxVersion) const;

    // Returns once the compositor has handled every request sent so far and its events
    // up to then have been dispatched. Throws WaylandError when the connection breaks or
    // no answer comes within the limit.
    void roundtrip() const;
    // Dispatches events until `done` holds. Throws WaylandError when the connection breaks
    // or `limit` passes first.
    void dispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) const;

private:
    static void announce(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version);
    static void remove(void* data, wl_registry*, std::uint32_t name);

    std::string displayName_;
    std::chrono::milliseconds roundtripLimit_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<WaylandGlobal> globals_;
};

}  // namespace kelvane::platform::wayland
