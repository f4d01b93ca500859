#pragma once
// A stand-in X server for the faults a real one shows rarely: it listens on a free
// display number (an abstract socket, which X clients on Linux try first) and takes
// every connection and never answers, like a stopped or hung server; or accepts the
// connection and then never answers a request, like one stopped a moment later; or
// refuses every connection with a reason, like a server the client has no cookie for.
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
    enum class Behaviour { neverAnswers, answersOnlyTheSetUp, refuses };

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
            if (behaviour_ == Behaviour::refuses) answerSetUp(client, refusal());
            if (behaviour_ == Behaviour::answersOnlyTheSetUp) answerSetUp(client, acceptance());
        }
    }

    // A connection set-up failure as the protocol spells it: status 0, the reason's
    // length, protocol 11.0, then the reason padded to whole 4-byte units.
    static std::vector<std::uint8_t> refusal() {
        const std::string reason = "No protocol specified\n";
        const std::size_t padded = (reason.size() + 3) / 4 * 4;
        std::vector<std::uint8_t> reply(8 + padded, 0);
        reply[1] = static_cast<std::uint8_t>(reason.size());
        put16(reply, 2, 11);
        put16(reply, 6, static_cast<std::uint16_t>(padded / 4));
        std::memcpy(&reply[8], reason.data(), reason.size());
        return reply;
    }

    // The smallest successful set-up: no vendor name, one pixmap format, one 800x600
    // screen of depth 24 with one TrueColor visual.
    static std::vector<std::uint8_t> acceptance() {
        std::vector<std::uint8_t> reply(8 + 32 + 8 + 40 + 8 + 24, 0);
        reply[0] = 1;
        put16(reply, 2, 11);
        put16(reply, 6, static_cast<std::uint16_t>((reply.size() - 8) / 4));
        put32(reply, 12, 0x00200000);  // resource-id base
        put32(reply, 16, 0x001fffff);  // resource-id mask
        put16(reply, 26, 0xffff);      // maximum request length
        reply[28] = 1;                 // screens
        reply[29] = 1;                 // pixmap formats
        reply[34] = 32;                // bitmap scanline unit
        reply[35] = 32;                // bitmap scanline pad
        reply[36] = 8;                 // keycodes 8 to 255
        reply[37] = 255;
        std::size_t at = 40;
        reply[at] = 24, reply[at + 1] = 32, reply[at + 2] = 32;  // depth, bits per pixel, scanline pad
        at += 8;
        put32(reply, at, 0x100);                                  // root window
        put32(reply, at + 4, 0x20);                               // default colormap
        put32(reply, at + 8, 0xffffff);                           // white pixel
        put16(reply, at + 20, 800), put16(reply, at + 22, 600);   // size in pixels
        put16(reply, at + 24, 211), put16(reply, at + 26, 158);   // size in millimetres
        put16(reply, at + 28, 1), put16(reply, at + 30, 1);       // installed colormaps
        put32(reply, at + 32, 0x21);                              // root visual
        reply[at + 38] = 24;                                      // root depth
        reply[at + 39] = 1;                                       // depths
        at += 40;
        reply[at] = 24;
        put16(reply, at + 2, 1);  // visuals of this depth
        at += 8;
        put32(reply, at, 0x21);
        reply[at + 4] = 4;  // TrueColor
        reply[at + 5] = 8;  // bits per colour channel
        put16(reply, at + 6, 256);
        put32(reply, at + 8, 0xff0000), put32(reply, at + 12, 0xff00), put32(reply, at + 16, 0xff);
        return reply;
    }

    // Values go out in this machine's byte order, the order its clients announce.
    static void put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
        std::memcpy(&bytes[at], &value, sizeof value);
    }
    static void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
        std::memcpy(&bytes[at], &value, sizeof value);
    }

    // Reads the client's set-up request, then answers it with `reply`.
    static void answerSetUp(int client, const std::vector<std::uint8_t>& reply) {
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
