#pragma once
// A stand-in X server for the faults a real one shows rarely: it listens on a free
// display number (an abstract socket, which X clients on Linux try first) and either
// takes every connection and never answers, like a stopped or hung server, or refuses
// every connection with a reason, like a server the client has no cookie for.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kelvane::testing {

class StuckXServer {
public:
    enum class Behaviour { neverAnswers, refuses };

    explicit StuckXServer(Behaviour behaviour) : behaviour_(behaviour) {
        for (int display = 6100; display < 6300 && listener_ < 0; ++display) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
            std::memcpy(address.sun_path + 1, path.data(), path.size());  // leading NUL: abstract
            const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
            if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd, 16) == 0) {
                listener_ = fd;
                displayName_ = ":" + std::to_string(display);
            } else {
                ::close(fd);
            }
        }
        if (listener_ < 0) throw std::runtime_error("StuckXServer: no free display number");
        serving_ = std::thread([this] { serve(); });
    }

    ~StuckXServer() {
        stopping_ = true;
        serving_.join();
        for (int client : clients_) ::close(client);
        ::close(listener_);
    }

    StuckXServer(const StuckXServer&) = delete;
    StuckXServer& operator=(const StuckXServer&) = delete;

    // The value for DISPLAY, e.g. ":6100".
    const std::string& displayName() const { return displayName_; }

private:
    void serve() {
        while (!stopping_) {
            pollfd ready{listener_, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0) continue;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            clients_.push_back(client);  // held open, so the client sees no hang-up
            if (behaviour_ == Behaviour::refuses) refuse(client);
        }
    }

    // A connection set-up failure as the protocol spells it: status 0, the reason's
    // length, protocol 11.0, then the reason padded to whole 4-byte units.
    static void refuse(int client) {
        const std::string reason = "No protocol specified\n";
        const std::size_t padded = (reason.size() + 3) / 4 * 4;
        std::vector<std::uint8_t> reply(8 + padded, 0);
        reply[1] = static_cast<std::uint8_t>(reason.size());
        const std::uint16_t major = 11, units = static_cast<std::uint16_t>(padded / 4);
        std::memcpy(&reply[2], &major, 2);  // the client announced its own (little-endian) byte order
        std::memcpy(&reply[6], &units, 2);
        std::memcpy(&reply[8], reason.data(), reason.size());
        pollfd request{client, POLLIN, 0};
        if (::poll(&request, 1, 2000) > 0) {
            std::uint8_t discarded[512];
            [[maybe_unused]] const ssize_t read = ::read(client, discarded, sizeof discarded);
        }
        [[maybe_unused]] const ssize_t written = ::write(client, reply.data(), reply.size());
    }

    Behaviour behaviour_;
    int listener_ = -1;
    std::string displayName_;
    std::atomic<bool> stopping_{false};
    std::vector<int> clients_;
    std::thread serving_;
};

}  // namespace kelvane::testing
