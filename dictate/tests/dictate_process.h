#pragma once
// kelvane-dictate as the host runs it: a child process with its standard input, output
// and error on pipes, chosen environment changes, and its exit status.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kelvane::dictate::testing {

class DictateProcess {
public:
    // `environment` entries replace variables of this process (an empty value removes one).
    DictateProcess(std::vector<std::string> argv, const std::map<std::string, std::string>& environment = {}) {
        // A program that ended early must fail the test, not kill it on the next write.
        ::signal(SIGPIPE, SIG_IGN);
        std::vector<std::string> env;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text(*entry);
            if (!environment.count(text.substr(0, text.find('=')))) env.push_back(text);
        }
        for (const auto& [name, value] : environment)
            if (!value.empty()) env.push_back(name + "=" + value);

        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
            throw std::runtime_error("no pipes");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<char*> args, envp;
        for (auto& arg : argv) args.push_back(arg.data());
        args.push_back(nullptr);
        for (auto& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        input_ = in[1];
        output_ = out[0];
        error_ = err[0];
        if (spawned != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + argv[0]);
        }
    }

    DictateProcess(const DictateProcess&) = delete;
    DictateProcess& operator=(const DictateProcess&) = delete;

    ~DictateProcess() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {input_, output_, error_})
            if (fd >= 0) ::close(fd);
    }

    void writeLine(const std::string& line) {
        const std::string text = line + "\n";
        if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot write to the program");
    }

    void closeInput() {
        ::close(input_);
        input_ = -1;
    }

    // The host stops reading: later writes of the program find no reader.
    void closeOutput() {
        ::close(output_);
        output_ = -1;
    }

    // The next output line without its line feed; nothing at the deadline or end of output.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const std::size_t end = buffered_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd ready{output_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[4096];
            const ssize_t got = ::read(output_, chunk, sizeof chunk);
            if (got <= 0) return std::nullopt;
            buffered_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // Output left unread once the program has ended.
    std::string remainingOutput() {
        std::string rest = buffered_;
        buffered_.clear();
        char chunk[4096];
        ssize_t got;
        while ((got = ::read(output_, chunk, sizeof chunk)) > 0) rest.append(chunk, static_cast<std::size_t>(got));
        return rest;
    }

    // Everything written to standard error; call after the program has ended.
    std::string standardError() {
        std::string text;
        char chunk[4096];
        ssize_t got;
        while ((got = ::read(error_, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
        return text;
    }

    // The exit status, or nothing when the program is still running at the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!status_) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
    std::string buffered_;
    std::optional<int> status_;
};

}  // namespace kelvane::dictate::testing
