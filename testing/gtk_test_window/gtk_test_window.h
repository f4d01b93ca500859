#pragma once
// Runs testing/gtk_test_window/gtk_test_window.py as a child process for desktop tests
// and tells where its widgets are on screen. Needs KELVANE_SOURCE_DIR (every test target
// gets it) and a desktop with an accessibility bus (scripts/with-desktop).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

extern char** environ;

namespace kelvane::testing {

struct WidgetRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int centerX() const { return x + width / 2; }
    int centerY() const { return y + height / 2; }
};

class GtkTestWindow {
public:
    GtkTestWindow() {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
            throw std::runtime_error("gtk test window: no pipes");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        std::string script = std::string(KELVANE_SOURCE_DIR) + "/testing/gtk_test_window/gtk_test_window.py";
        // Debian's interpreter: the one first on PATH may lack the GTK bindings.
        std::vector<char*> argv = {const_cast<char*>("/usr/bin/python3"), script.data(), nullptr};
        int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        input_ = toChild[1];
        output_ = fromChild[0];
        if (spawned != 0) {
            pid_ = -1;
            closePipes();
            throw std::runtime_error("gtk test window: cannot start /usr/bin/python3");
        }
        std::string layout = readLine(std::chrono::seconds(60));
        try {
            layout_ = nlohmann::json::parse(layout);
        } catch (const nlohmann::json::exception&) {
            stop();
            throw std::runtime_error("gtk test window: no layout, got \"" + layout + "\"");
        }
    }

    GtkTestWindow(const GtkTestWindow&) = delete;
    GtkTestWindow& operator=(const GtkTestWindow&) = delete;
    ~GtkTestWindow() { stop(); }

    pid_t pid() const { return pid_; }

    // One of: entry, enabledButton, disabledButton, link, splitter, splitterHandle,
    // crop, plain.
    WidgetRect rect(const std::string& widget) const {
        const nlohmann::json& r = layout_.at("widgets").at(widget);
        return {r.at("x").get<int>(), r.at("y").get<int>(), r.at("width").get<int>(), r.at("height").get<int>()};
    }

    // "focus entry", "focus none", ...; true when the window answered "ok".
    bool command(const std::string& line) {
        std::string text = line + "\n";
        if (write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            return false;
        }
        return readLine(std::chrono::seconds(20)) == "ok";
    }

private:
    std::string readLine(std::chrono::milliseconds timeout) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return line;
            }
            pollfd ready{output_, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char c;
            if (read(output_, &c, 1) != 1) {
                return line;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
    }

    void closePipes() {
        if (input_ >= 0) close(input_);
        if (output_ >= 0) close(output_);
        input_ = output_ = -1;
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGCONT);  // a test may have frozen it
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        closePipes();
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    nlohmann::json layout_;
};

// Moves the X pointer and waits until the server has done it.
inline bool movePointer(int x, int y) {
    std::string command = "xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y);
    return std::system(command.c_str()) == 0;
}

}  // namespace kelvane::testing
