#include "platform/linux/x11/x_connection.h"

#include <poll.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "platform/linux/x11/poll_until.h"

namespace kelvane::platform::x11 {

namespace {

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

std::string silenceMessage(const std::string& displayName) {
    return "X display " + quoted(displayName) + " does not answer (waited " +
           std::to_string(serverAnswerTimeout.count()) + " seconds)";
}

std::string silentAtStartMessage(const std::string& displayName) {
    return "Cannot open X display " + quoted(displayName) + ": the server accepts the connection but does not answer";
}

// Displays whose set-up is still waited for by an abandoned attempt. While one is, a new
// attempt fails at once instead of leaving one more thread stuck on the same server.
struct SilentDisplays {
    std::mutex mutex;
    std::set<std::string> names;
};
SilentDisplays& silentDisplays() {
    static auto* displays = new SilentDisplays;  // outlives the stuck threads at exit
    return *displays;
}

struct PendingConnect {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    xcb_connection_t* connection = nullptr;
    int screenNumber = 0;
};

// xcb_connect reads the set-up reply with no time limit, so it runs on a thread of its
// own; when the server does not answer in time, that thread is left to finish (or not)
// on its own and closes what it got.
xcb_connection_t* connectWithin(const std::string& displayName, int& screenNumber) {
    SilentDisplays& silent = silentDisplays();
    {
        std::lock_guard lock(silent.mutex);
        if (silent.names.contains(displayName)) throw XServerSilentError(silentAtStartMessage(displayName));
    }
    auto pending = std::make_shared<PendingConnect>();
    std::thread([pending, displayName] {
        int screen = 0;
        xcb_connection_t* connection = xcb_connect(displayName.c_str(), &screen);
        std::lock_guard lock(pending->mutex);
        if (pending->abandoned) {
            xcb_disconnect(connection);
            std::lock_guard silentLock(silentDisplays().mutex);
            silentDisplays().names.erase(displayName);
            return;
        }
        pending->connection = connection;
        pending->screenNumber = screen;
        pending->done = true;
        pending->finished.notify_one();
    }).detach();

    std::unique_lock lock(pending->mutex);
    if (!pending->finished.wait_for(lock, serverAnswerTimeout, [&] { return pending->done; })) {
        pending->abandoned = true;
        std::lock_guard silentLock(silent.mutex);
        silent.names.insert(displayName);
        throw XServerSilentError(silentAtStartMessage(displayName));
    }
    screenNumber = pending->screenNumber;
    return pending->connection;
}

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
    connection_ = connectWithin(displayName_, screenNumber);
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
        const XReply<xcb_intern_atom_reply_t> answer = reply<xcb_intern_atom_reply_t>(cookie);
        atoms.push_back(answer ? answer->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE));
    }
    return atoms;
}

void* XConnection::waitForReply(unsigned int sequence) const {
    throwIfBroken();
    xcb_flush(connection_);
    const bool timed = stopFd_ < 0;
    const auto deadline = std::chrono::steady_clock::now() + serverAnswerTimeout;
    pollfd watched[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
        void* answer = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection_, sequence, &answer, &error) != 0) {
            std::free(error);
            return answer;
        }
        throwIfBroken();
        const auto now = std::chrono::steady_clock::now();
        if (timed && now >= deadline) {
            silent_ = true;
            throw XServerSilentError(silenceMessage(displayName_));
        }
        // Another thread of this connection may read our reply off the socket first, so
        // the socket is not watched for the whole wait at once.
        const auto sliceEnd = now + std::chrono::milliseconds(10);
        pollUntil(watched, timed ? 1 : 2, timed ? std::min(deadline, sliceEnd) : sliceEnd);
        if (!timed && watched[1].revents != 0) {
            throw XConnectionError("Stopped waiting for X display " + quoted(displayName_));
        }
    }
}

XReply<xcb_generic_error_t> XConnection::requestError(xcb_void_cookie_t cookie) const {
    // Once a later request is answered, the checked one is complete and xcb's check
    // returns without asking the server.
    reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(connection_));
    return XReply<xcb_generic_error_t>(xcb_request_check(connection_, cookie));
}

const xcb_query_extension_reply_t& XConnection::extension(xcb_extension_t* extension) const {
    // xcb waits for this answer without a limit; once a later request is answered, the
    // earlier one is in too and xcb finds it without waiting.
    xcb_prefetch_extension_data(connection_, extension);
    reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(connection_));
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, extension);
    if (data == nullptr) {
        throwIfBroken();
        throw XConnectionError("X display " + quoted(displayName_) + " does not say which extensions it has");
    }
    return *data;
}

void XConnection::throwIfBroken() const {
    if (silent_) throw XServerSilentError(silenceMessage(displayName_));
    if (const int code = xcb_connection_has_error(connection_); code != 0) {
        throw XConnectionError("Lost the connection to X display " + quoted(displayName_) + ": " +
                               describeConnectionError(code));
    }
}

}  // namespace kelvane::platform::x11
