#pragma once
// A child process for tests, with its standard input and output on pipes, read line by
// line with a deadline. The child is ended (SIGTERM, then reaped) when this goes away.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace kelvane::testing {

class ChildWithPipes {
public:
    // argv[0] is the program's path. The child inherits this process's environment.
    explicit ChildWithPipes(std::vector<std::string> argv) {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0) {
            throw std::runtime_error("child process: no pipes");
        }
        if (pipe2(fromChild, O_CLOEXEC) != 0) {
            close(toChild[0]);
            close(toChild[1]);
            throw std::runtime_error("child process: no pipes");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (std::string& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        int spawned = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        input_ = toChild[1];
        output_ = fromChild[0];
        if (spawned != 0) {
            pid_ = -1;
            closePipes();
            throw std::runtime_error("child process: cannot start " + argv[0]);
        }
    }

    ChildWithPipes(const ChildWithPipes&) = delete;
    ChildWithPipes& operator=(const ChildWithPipes&) = delete;
    ~ChildWithPipes() {
        if (pid_ > 0) {
            kill(pid_, SIGCONT);  // a test may have stopped it
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        closePipes();
    }

    pid_t pid() const { return pid_; }

    bool writeLine(const std::string& line) {
        std::string text = line + "\n";
        return write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // The next line without its line feed; nothing when the deadline passes or the
    // output ends first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            std::size_t end = buffered_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return std::nullopt;
            }
            pollfd ready{output_, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[4096];
            ssize_t got = read(output_, chunk, sizeof chunk);
            if (got <= 0) {
                return std::nullopt;
            }
            buffered_.append(chunk, static_cast<std::size_t>(got));
        }
    }

private:
    void closePipes() {
        if (input_ >= 0) close(input_);
        if (output_ >= 0) close(output_);
        input_ = output_ = -1;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
};

}  // namespace kelvane::testing
