#include "platform/linux/wayland/wayland_connection.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/x11/poll_until.h"

namespace kelvane::platform::wayland {

namespace {

std::string displayNameFromEnvironment() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name != nullptr && *name != '\0' ? name : "wayland-0";
}

void callbackDone(void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSyncListener = {callbackDone};

// Waits for `events` on the connection until the deadline; false when it passed.
bool waitFor(wl_display* display, short events, std::chrono::steady_clock::time_point deadline) {
    pollfd fd{wl_display_get_fd(display), events, 0};
    int ready = 0;
    do {
        ready = x11::pollUntil(&fd, 1, deadline);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

}  // namespace

WaylandConnection::WaylandConnection(std::chrono::milliseconds roundtripLimit)
    : displayName_(displayNameFromEnvironment()), roundtripLimit_(roundtripLimit) {
    display_ = wl_display_connect(nullptr);
    if (display_ == nullptr) {
        throw WaylandError("cannot connect to the Wayland display " + displayName_ + ": " + std::strerror(errno));
    }
    static const wl_registry_listener registryListener = {announce, remove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    try {
        roundtrip();
    } catch (...) {
        wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
        throw;
    }
}

WaylandConnection::~WaylandConnection() {
    wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandConnection::announce(void* data, wl_registry*, std::uint32_t name, const char* interface,
                                 std::uint32_t version) {
    static_cast<WaylandConnection*>(data)->globals_.push_back({name, interface, version});
}

void WaylandConnection::remove(void* data, wl_registry*, std::uint32_t name) {
    std::erase_if(static_cast<WaylandConnection*>(data)->globals_,
                  [name](const WaylandGlobal& global) { return global.name == name; });
}

const WaylandGlobal* WaylandConnection::find(const std::string& interface) const {
    const auto found = std::ranges::find(globals_, interface, &WaylandGlobal::interface);
    return found == globals_.end() ? nullptr : &*found;
}

void* WaylandConnection::bind(const WaylandGlobal& global, const wl_interface* interface,
                              std::uint32_t maxVersion) const {
    return wl_registry_bind(registry_, global.name, interface, std::min(global.version, maxVersion));
}

void WaylandConnection::roundtrip() const {
    bool done = false;
    wl_callback* sync = wl_display_sync(display_);
    wl_callback_add_listener(sync, &kSyncListener, &done);
    try {
        dispatchUntil([&done] { return done; }, roundtripLimit_);
    } catch (...) {
        wl_callback_destroy(sync);
        throw;
    }
    wl_callback_destroy(sync);
}

void WaylandConnection::dispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto fail = [&](const std::string& why) { throw WaylandError("the Wayland display " + displayName_ + " " + why); };
    while (!done()) {
        // Events already read go first; a read may only start on an empty queue.
        if (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) fail("closed the connection");
            continue;
        }
        // A broken connection shows in the read below.
        while (wl_display_flush(display_) < 0 && errno == EAGAIN && waitFor(display_, POLLOUT, deadline)) {
        }
        if (!waitFor(display_, POLLIN, deadline)) {
            wl_display_cancel_read(display_);
            fail("did not answer in time");
        }
        if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0) {
            fail("closed the connection");
        }
    }
}

}  // namespace kelvane::platform::wayland
