// A compositor or sway that accepts the connection and then never answers must not
// hang a program: each query gives up after its time limit.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/linux/wayland/sway_ipc.h"
#include "platform/linux/wayland/wayland_connection.h"

namespace kelvane::platform::wayland {
namespace {

using namespace std::chrono_literals;

// A listening socket nobody ever accepts or reads from; connecting to it succeeds.
class SilentServer {
public:
    SilentServer() {
        char pattern[] = "/tmp/kelvane-silent.XXXXXX";
        folder_ = mkdtemp(pattern);
        path_ = folder_ + "/socket";
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(fd_, 4), 0);
    }
    ~SilentServer() {
        close(fd_);
        std::filesystem::remove_all(folder_);
    }
    const std::string& path() const { return path_; }

private:
    std::string folder_, path_;
    int fd_ = -1;
};

class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SilentServers, GiveUpAfterTheirTimeLimit) {
    SilentServer compositor, sway;
    ScopedVariable display("WAYLAND_DISPLAY", compositor.path());
    ScopedVariable swaySocket("SWAYSOCK", sway.path());

    auto started = std::chrono::steady_clock::now();
    try {
        WaylandConnection connection(300ms);
        ADD_FAILURE() << "a silent compositor gave a connection";
    } catch (const WaylandError& error) {
        EXPECT_EQ(std::string(error.what()), "the Wayland display " + compositor.path() + " did not answer in time");
    }
    auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 2s);

    started = std::chrono::steady_clock::now();
    EXPECT_EQ(askSway(SwayRequest::getTree, 300ms), std::nullopt);
    waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 2s);
}

TEST(SilentServers, NoneListeningFailsAtOnce) {
    ScopedVariable display("WAYLAND_DISPLAY", "/nonexistent/wayland-9");
    ScopedVariable swaySocket("SWAYSOCK", "/nonexistent/sway.sock");
    try {
        WaylandConnection connection;
        ADD_FAILURE() << "connected to nothing";
    } catch (const WaylandError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("cannot connect to the Wayland display /nonexistent/wayland-9: ", 0), 0u)
            << error.what();
    }
    EXPECT_EQ(askSway(SwayRequest::getTree), std::nullopt);
}

}  // namespace
}  // namespace kelvane::platform::wayland
