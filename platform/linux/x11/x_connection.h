#pragma once
// One connection to an X server, shared by the X11 backends: opening it with an error
// that names the display, the default screen, atoms interned in one round trip, and
// replies owned by smart pointers.
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::platform::x11 {

class XConnectionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

// A reply or error from xcb, which the caller owns and frees with free().
template <class T>
using XReply = std::unique_ptr<T, FreeDeleter>;

class XConnection {
public:
    // Connects to `displayName`, or to the display DISPLAY names when it is empty. Throws
    // XConnectionError with a message that names the display when that fails.
    explicit XConnection(std::string displayName = {});
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }
    // The display name as given or as DISPLAY held it.
    const std::string& displayName() const { return displayName_; }

    // Interns every name, sending all requests before reading any reply. Names that
    // cannot be interned come back as XCB_ATOM_NONE.
    std::vector<xcb_atom_t> internAtoms(const std::vector<std::string_view>& names) const;

    // Throws XConnectionError when the server has closed the connection or it broke.
    void throwIfBroken() const;

private:
    std::string displayName_;
    xcb_connection_t* connection_ = nullptr;
    const xcb_screen_t* screen_ = nullptr;
};

// The message for an xcb connection error code, e.g. "no X server answers there".
std::string describeConnectionError(int code);

}  // namespace kelvane::platform::x11
