#pragma once
// The window maker's connection to the X server: atoms by name, 32-bit property reads,
// client messages to the window manager, and whether one is running.
#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::testing {

class XSession {
public:
    // Connects to $DISPLAY; throws std::runtime_error when that fails.
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    xcb_connection_t* connection() const { return connection_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    int fileDescriptor() const { return xcb_get_file_descriptor(connection_); }

    xcb_atom_t atom(const std::string& name);

    // A property of 32-bit items (CARDINAL, ATOM, WINDOW); nothing when it is absent.
    std::optional<std::vector<uint32_t>> words(xcb_window_t window, const std::string& property);

    // True when an EWMH window manager has announced itself on the root window.
    bool hasWindowManager();

    // A client message about `window` sent to the root window, where the window
    // manager listens for requests.
    void askWindowManager(xcb_window_t window, const std::string& messageType, std::array<uint32_t, 5> data);

    // Waits until the server has handled every request sent so far.
    void sync();

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    std::map<std::string, xcb_atom_t> atoms_;
};

}  // namespace kelvane::testing
