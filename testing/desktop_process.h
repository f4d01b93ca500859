#pragma once
// Runs a program as a child process the way the host application does: arguments,
// environment, standard input written by the test, standard output and standard error
// read back line by line with time-outs, and the exit status. A reader thread drains
// both output pipes all the time, so a child that writes a lot never stalls or drops
// data while the test sleeps or waits on the other stream.
//
// The child runs in its own process group; destroying a DesktopProcess whose child is
// still running kills that group and reaps the child. Writing to a child that has closed its standard input
// returns false instead of raising SIGPIPE (SIGPIPE is ignored in the test process).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace kelvane::testing {

struct ExitStatus {
    bool exited = false;  // ended through exit(); otherwise killed by `signal`
    int code = -1;
    int signal = 0;

    bool operator==(const ExitStatus&) const = default;
    static ExitStatus exitCode(int code) { return {true, code, 0}; }
    static ExitStatus killedBy(int signal) { return {false, -1, signal}; }
};

struct SpawnOptions {
    std::map<std::string, std::string> setEnvironment;  // added to the inherited environment
    std::vector<std::string> unsetEnvironment;          // removed from it
    std::string workingDirectory;                       // empty: the test's own
};

class DesktopProcess {
public:
    using Timeout = std::chrono::milliseconds;

    // argv[0] is looked up on PATH when it has no slash. Throws std::system_error when
    // the program cannot be started.
    explicit DesktopProcess(const std::vector<std::string>& argv, const SpawnOptions& options = {}) {
        if (argv.empty()) {
            throw std::system_error(EINVAL, std::generic_category(), "DesktopProcess: no program given");
        }
        ::signal(SIGPIPE, SIG_IGN);
        int input[2], output[2], error[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(error, O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "DesktopProcess: pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, error[1], STDERR_FILENO);
        if (!options.workingDirectory.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
        }
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults, empty;
        sigemptyset(&defaults);
        // A test run as a background job ignores SIGINT and SIGQUIT; the program under
        // test must not inherit that, nor the test's own SIGPIPE setting.
        for (int signalNumber : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP}) sigaddset(&defaults, signalNumber);
        sigemptyset(&empty);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &empty);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

        std::vector<std::string> environment = childEnvironment(options);
        std::vector<char*> envp;
        for (std::string& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> arguments = argv;
        std::vector<char*> args;
        for (std::string& argument : arguments) args.push_back(argument.data());
        args.push_back(nullptr);

        int spawned = posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(input[0]);
        ::close(output[1]);
        ::close(error[1]);
        stdin_ = input[1];
        stdout_.fd = output[0];
        stderr_.fd = error[0];
        if (spawned != 0) {
            pid_ = -1;
            closeAll();
            throw std::system_error(spawned, std::generic_category(), "DesktopProcess: cannot start " + argv[0]);
        }
        if (pipe2(wake_, O_CLOEXEC) != 0) {
            int failure = errno;
            kill();
            closeAll();
            throw std::system_error(failure, std::generic_category(), "DesktopProcess: pipe");
        }
        reader_ = std::thread([this] { drain(); });
    }

    DesktopProcess(const DesktopProcess&) = delete;
    DesktopProcess& operator=(const DesktopProcess&) = delete;

    ~DesktopProcess() {
        if (!status_ && pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        // A grandchild outside the process group may still hold the pipes open, so the
        // reader is told to stop rather than left waiting for their end.
        if (reader_.joinable()) {
            char stop = 0;
            [[maybe_unused]] ssize_t ignored = ::write(wake_[1], &stop, 1);
            reader_.join();
        }
        for (int fd : wake_) {
            if (fd >= 0) ::close(fd);
        }
        closeAll();
    }

    pid_t pid() const { return pid_; }

    // Writes text as is; false when the child no longer reads its standard input.
    bool write(std::string_view text) {
        while (!text.empty()) {
            if (stdin_ < 0) return false;
            ssize_t written = ::write(stdin_, text.data(), text.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            text.remove_prefix(static_cast<size_t>(written));
        }
        return true;
    }

    bool writeLine(std::string_view line) { return write(std::string(line) + "\n"); }

    void closeStdin() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }

    // The next line without its line feed. A last line without one is returned once
    // the stream has ended. Nothing when the time-out passes first or the stream ended.
    std::optional<std::string> readStdoutLine(Timeout timeout) { return readLine(stdout_, timeout); }
    std::optional<std::string> readStderrLine(Timeout timeout) { return readLine(stderr_, timeout); }

    // Everything not read yet, up to the end of the stream or the time-out.
    std::string readStdoutToEnd(Timeout timeout) { return readToEnd(stdout_, timeout); }
    std::string readStderrToEnd(Timeout timeout) { return readToEnd(stderr_, timeout); }

    bool stdoutEnded() const { return ended(stdout_); }
    bool stderrEnded() const { return ended(stderr_); }

    // The exit status, or nothing when the child is still running after the time-out.
    std::optional<ExitStatus> waitForExit(Timeout timeout) {
        auto deadline = Clock::now() + timeout;
        while (!reap()) {
            if (Clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status_;
    }

    void sendSignal(int signalNumber) {
        if (!status_ && pid_ > 0) ::kill(pid_, signalNumber);
    }

    // Kills the child's whole process group and returns how the child ended.
    ExitStatus kill() {
        if (!reap()) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            while (!reap()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return *status_;
    }

private:
    using Clock = std::chrono::steady_clock;

    struct Stream {
        int fd = -1;
        std::string buffer;
        bool ended = false;
    };

    static std::vector<std::string> childEnvironment(const SpawnOptions& options) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::string_view text(*entry);
            std::string name(text.substr(0, text.find('=')));
            bool replaced = options.setEnvironment.count(name) != 0;
            for (const std::string& unset : options.unsetEnvironment) replaced = replaced || unset == name;
            if (!replaced) environment.emplace_back(text);
        }
        for (const auto& [name, value] : options.setEnvironment) environment.push_back(name + "=" + value);
        return environment;
    }

    bool ended(const Stream& stream) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stream.ended && stream.buffer.empty();
    }

    // The reader thread: moves whatever either pipe holds into its buffer until both
    // have ended or the wake pipe says stop.
    void drain() {
        while (true) {
            pollfd fds[3] = {{wake_[0], POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
            Stream* streams[3] = {nullptr, &stdout_, &stderr_};
            bool open = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (int i = 1; i < 3; ++i) {
                    if (!streams[i]->ended) {
                        fds[i].fd = streams[i]->fd;
                        open = true;
                    }
                }
            }
            if (!open) return;
            if (poll(fds, 3, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[0].revents != 0) return;
            for (int i = 1; i < 3; ++i) {
                if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
                char chunk[65536];
                ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
                if (got < 0 && errno == EINTR) continue;
                std::lock_guard<std::mutex> lock(mutex_);
                if (got > 0) {
                    streams[i]->buffer.append(chunk, static_cast<size_t>(got));
                } else {
                    streams[i]->ended = true;
                }
                arrived_.notify_all();
            }
        }
    }

    std::optional<std::string> readLine(Stream& stream, Timeout timeout) {
        auto deadline = Clock::now() + timeout;
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            size_t end = stream.buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = stream.buffer.substr(0, end);
                stream.buffer.erase(0, end + 1);
                return line;
            }
            if (stream.ended) {
                if (stream.buffer.empty()) return std::nullopt;
                return std::exchange(stream.buffer, {});
            }
            if (arrived_.wait_until(lock, deadline) == std::cv_status::timeout && Clock::now() >= deadline) {
                if (stream.buffer.find('\n') == std::string::npos && !stream.ended) return std::nullopt;
            }
        }
    }

    std::string readToEnd(Stream& stream, Timeout timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, timeout, [&] { return stream.ended; });
        return std::exchange(stream.buffer, {});
    }

    bool reap() {
        if (status_) return true;
        int raw = 0;
        pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done != pid_) return false;
        status_ = WIFEXITED(raw) ? ExitStatus::exitCode(WEXITSTATUS(raw)) : ExitStatus::killedBy(WTERMSIG(raw));
        return true;
    }

    void closeAll() {
        closeStdin();
        for (Stream* stream : {&stdout_, &stderr_}) {
            if (stream->fd >= 0) ::close(stream->fd);
            stream->fd = -1;
        }
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;  // guards both streams
    std::condition_variable arrived_;
    Stream stdout_;
    Stream stderr_;
    std::thread reader_;
    std::optional<ExitStatus> status_;
};

}  // namespace kelvane::testing
