#include "platform/linux/wayland/sway_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/linux/x11/poll_until.h"

namespace kelvane::platform::wayland {

namespace {

// Every message: this magic, the payload's length and the message type (both 32-bit,
// host byte order), then the payload.
constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeaderSize = kMagic.size() + 8;
// A tree of a few hundred windows is well under a megabyte; anything far larger is not
// an answer from sway.
constexpr std::uint32_t kLongestReply = 64u << 20;

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool transfer(int fd, char* bytes, std::size_t size, bool sending, std::chrono::steady_clock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        pollfd ready{fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
        const int polled = x11::pollUntil(&ready, 1, deadline);
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return false;
        const ssize_t moved = sending ? send(fd, bytes + done, size - done, MSG_NOSIGNAL) : recv(fd, bytes + done, size - done, 0);
        if (moved < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (moved <= 0) return false;
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

}  // namespace

std::optional<std::string> askSway(SwayRequest request, std::chrono::milliseconds limit) {
    const char* path = std::getenv("SWAYSOCK");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path == nullptr || *path == '\0' || std::strlen(path) >= sizeof address.sun_path) return std::nullopt;
    std::strcpy(address.sun_path, path);

    const Socket connection(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (connection.fd() < 0) return std::nullopt;
    // A local socket connects at once or not at all.
    if (connect(connection.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return std::nullopt;

    const auto deadline = std::chrono::steady_clock::now() + limit;
    char header[kHeaderSize];
    std::memcpy(header, kMagic.data(), kMagic.size());
    const std::uint32_t noPayload = 0;
    const auto type = static_cast<std::uint32_t>(request);
    std::memcpy(header + kMagic.size(), &noPayload, 4);
    std::memcpy(header + kMagic.size() + 4, &type, 4);
    if (!transfer(connection.fd(), header, kHeaderSize, true, deadline)) return std::nullopt;

    if (!transfer(connection.fd(), header, kHeaderSize, false, deadline)) return std::nullopt;
    std::uint32_t length = 0;
    std::uint32_t replyType = 0;
    std::memcpy(&length, header + kMagic.size(), 4);
    std::memcpy(&replyType, header + kMagic.size() + 4, 4);
    if (std::string_view(header, kMagic.size()) != kMagic || replyType != type || length > kLongestReply) {
        return std::nullopt;
    }
    std::string payload(length, '\0');
    if (!transfer(connection.fd(), payload.data(), length, false, deadline)) return std::nullopt;
    return payload;
}

}  // namespace kelvane::platform::wayland
