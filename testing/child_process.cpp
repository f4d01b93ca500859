#include "testing/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <system_error>
#include <utility>

extern char** environ;

namespace kelvane::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> childEnvironment(const SpawnOptions& options) {
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

ChildProcess::Timeout leftUntil(Clock::time_point deadline) {
    return std::max(ChildProcess::Timeout(0),
                    std::chrono::duration_cast<ChildProcess::Timeout>(deadline - Clock::now()));
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const ExitStatus& status) {
    if (status.exited) return out << "exit code " << status.code;
    return out << "killed by signal " << status.signal;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const SpawnOptions& options) {
    if (argv.empty()) {
        throw std::system_error(EINVAL, std::generic_category(), "ChildProcess: no program given");
    }
    ::signal(SIGPIPE, SIG_IGN);
    int input[2], output[2], error[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(error, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "ChildProcess: pipe");
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
        throw std::system_error(spawned, std::generic_category(), "ChildProcess: cannot start " + argv[0]);
    }
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        int failure = errno;
        kill();
        closeAll();
        throw std::system_error(failure, std::generic_category(), "ChildProcess: pipe");
    }
    reader_ = std::thread([this] {
        drain();
        std::lock_guard<std::mutex> lock(mutex_);
        readerDone_ = true;
        arrived_.notify_all();
    });
}

ChildProcess::~ChildProcess() {
    if (!status_ && pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    // A grandchild outside the process group may still hold the pipes open, so the
    // reader is told to stop rather than left waiting for their end.
    if (reader_.joinable()) {
        stopping_ = true;
        wakeReader();
        reader_.join();
    }
    for (int fd : wake_) {
        if (fd >= 0) ::close(fd);
    }
    closeAll();
}

bool ChildProcess::write(std::string_view text) {
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

void ChildProcess::closeStdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
}

void ChildProcess::closeStdout() {
    std::unique_lock<std::mutex> lock(mutex_);
    stdout_.closeWanted = true;
    wakeReader();
    // Closed once this returns, so what the child writes next finds no reader.
    arrived_.wait(lock, [&] { return stdout_.fd < 0 || readerDone_; });
    if (stdout_.fd >= 0) ::close(stdout_.fd);
    stdout_.fd = -1;
    stdout_.ended = true;
}

void ChildProcess::wakeReader() {
    char wake = 0;
    [[maybe_unused]] ssize_t ignored = ::write(wake_[1], &wake, 1);
}

std::optional<ExitStatus> ChildProcess::waitForExit(Timeout timeout) {
    auto deadline = Clock::now() + timeout;
    while (!reap()) {
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

void ChildProcess::sendSignal(int signalNumber) {
    if (!status_ && pid_ > 0) ::kill(pid_, signalNumber);
}

ExitStatus ChildProcess::kill() {
    if (!reap()) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        while (!reap()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return *status_;
}

ProgramRun ChildProcess::finish(Timeout limit) {
    const auto deadline = Clock::now() + limit;
    ProgramRun run;
    run.out = readStdoutToEnd(leftUntil(deadline));
    run.err = readStderrToEnd(leftUntil(deadline));
    if (auto status = waitForExit(leftUntil(deadline))) {
        run.status = *status;
        return run;
    }
    run.status = kill();
    // What the killed child wrote last.
    run.out += readStdoutToEnd(std::chrono::seconds(1));
    run.err += readStderrToEnd(std::chrono::seconds(1));
    return run;
}

bool ChildProcess::ended(const Stream& stream) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stream.ended && stream.buffer.empty();
}

// The reader thread: moves whatever either pipe holds into its buffer until both have
// ended or the test stops it; closes a stream the test no longer reads.
void ChildProcess::drain() {
    Stream* streams[3] = {nullptr, &stdout_, &stderr_};
    while (!stopping_) {
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        bool open = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (int i = 1; i < 3; ++i) {
                Stream& stream = *streams[i];
                if (stream.closeWanted && stream.fd >= 0) {
                    ::close(stream.fd);
                    stream.fd = -1;
                    stream.ended = true;
                    arrived_.notify_all();
                }
                if (!stream.ended) {
                    fds[i].fd = stream.fd;
                    open = true;
                }
            }
        }
        if (!open) return;
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0) {
            char wake;
            [[maybe_unused]] ssize_t ignored = ::read(wake_[0], &wake, 1);
            continue;
        }
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

std::optional<std::string> ChildProcess::readLine(Stream& stream, Timeout timeout) {
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

std::string ChildProcess::readToEnd(Stream& stream, Timeout timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return stream.ended; });
    return std::exchange(stream.buffer, {});
}

bool ChildProcess::reap() {
    if (status_) return true;
    int raw = 0;
    pid_t done = waitpid(pid_, &raw, WNOHANG);
    if (done != pid_) return false;
    status_ = WIFEXITED(raw) ? ExitStatus::exitCode(WEXITSTATUS(raw)) : ExitStatus::killedBy(WTERMSIG(raw));
    return true;
}

void ChildProcess::closeAll() {
    closeStdin();
    for (Stream* stream : {&stdout_, &stderr_}) {
        if (stream->fd >= 0) ::close(stream->fd);
        stream->fd = -1;
    }
}

ProgramRun runProgram(const std::vector<std::string>& argv, const SpawnOptions& options, std::string_view input,
                      ChildProcess::Timeout limit) {
    ChildProcess child(argv, options);
    // Fed beside the reading, so a child that never reads all of a long input still
    // meets the limit: killing it ends the write.
    std::thread feeder([&] {
        child.write(input);
        child.closeStdin();
    });
    ProgramRun run = child.finish(limit);
    feeder.join();
    return run;
}

std::string shellOutput(const std::string& command) {
    // Decoding a long recording on a busy machine takes minutes; the test's own time-out
    // is the real limit.
    ProgramRun run = runProgram({"/bin/sh", "-c", command}, {}, {}, std::chrono::minutes(10));
    std::cerr << run.err;
    return run.out;
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace kelvane::testing
