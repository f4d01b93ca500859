#pragma once
// One connection to an X server, shared by the X11 backends: opening it with an error
// that names the display, the default screen, atoms interned in one round trip, and
// replies owned by smart pointers. Every wait for the server is bounded: a server that
// accepts connections but never answers (stopped, hung) must not hang the programs.
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
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

// The server took the connection but gave no answer within the time-out.
class XServerSilentError : public XConnectionError {
public:
    using XConnectionError::XConnectionError;
};

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

// A reply or error from xcb, which the caller owns and frees with free().
template <class T>
using XReply = std::unique_ptr<T, FreeDeleter>;

// The longest the server may take over the connection's set-up or over any one reply.
inline constexpr std::chrono::seconds serverAnswerTimeout{3};

class XConnection {
public:
    // Connects to `displayName`, or to the display DISPLAY names when it is empty. Throws
    // XConnectionError with a message that names the display when that fails or the
    // server does not answer within serverAnswerTimeout.
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

    // The reply to `cookie`; nothing when the server answered with an error. Throws
    // XConnectionError when the connection broke, and XServerSilentError when the server
    // gave no answer within serverAnswerTimeout (or whatever waitWithoutLimitUntil set);
    // after such a silence every later wait throws at once, so a whole series of
    // requests takes no longer than one time-out.
    template <class Reply, class Cookie>
    XReply<Reply> reply(Cookie cookie) const {
        return XReply<Reply>(static_cast<Reply*>(waitForReply(cookie.sequence)));
    }

    // The error a checked request caused, if any, within the same bound.
    XReply<xcb_generic_error_t> requestError(xcb_void_cookie_t cookie) const;

    // The server's answer about an extension (present, first event), within the same
    // bound.
    const xcb_query_extension_reply_t& extension(xcb_extension_t* extension) const;

    // From now on a wait has no time limit but ends, with XConnectionError, as soon as
    // `stopFd` becomes readable. For work that has been started and runs until stopped
    // (a capture), where a server that pauses only delays it; the stop must still end
    // every wait. Call before the connection is shared with another thread.
    void waitWithoutLimitUntil(int stopFd) { stopFd_ = stopFd; }

    // Throws XConnectionError when the server has closed the connection, it broke, or
    // the server stopped answering.
    void throwIfBroken() const;

private:
    void* waitForReply(unsigned int sequence) const;

    std::string displayName_;
    xcb_connection_t* connection_ = nullptr;
    const xcb_screen_t* screen_ = nullptr;
    mutable std::atomic<bool> silent_{false};
    int stopFd_ = -1;
};

// The message for an xcb connection error code, e.g. "no X server answers there".
std::string describeConnectionError(int code);

}  // namespace kelvane::platform::x11
