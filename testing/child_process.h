#pragma once
// Runs a program as a child process the way the host application does: arguments,
// environment, standard input written by the test, standard output and standard error
// read back line by line with time-outs, and the exit status. A reader thread drains
// both output pipes all the time, so a child that writes a lot never stalls or drops
// data while the test sleeps or waits on the other stream.
//
// The child runs in its own process group; destroying a ChildProcess whose child is
// still running kills that group and reaps the child. Writing to a child that has closed
// its standard input returns false instead of raising SIGPIPE (SIGPIPE is ignored in the
// test process).
#include <sys/types.h>

#include <atomic>
#include <iosfwd>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kelvane::testing {

struct ExitStatus {
    bool exited = false;  // ended through exit(); otherwise killed by `signal`
    int code = -1;
    int signal = 0;

    bool operator==(const ExitStatus&) const = default;
    static ExitStatus exitCode(int code) { return {true, code, 0}; }
    static ExitStatus killedBy(int signal) { return {false, -1, signal}; }
};

std::ostream& operator<<(std::ostream& out, const ExitStatus& status);

struct SpawnOptions {
    std::map<std::string, std::string> setEnvironment;  // added to the inherited environment
    std::vector<std::string> unsetEnvironment;          // removed from it
    std::string workingDirectory;                       // empty: the test's own
};

// Everything a finished child wrote and how it ended.
struct ProgramRun {
    std::string out;
    std::string err;
    ExitStatus status;
};

class ChildProcess {
public:
    using Timeout = std::chrono::milliseconds;

    // argv[0] is looked up on PATH when it has no slash. Throws std::system_error when
    // the program cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv, const SpawnOptions& options = {});
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }

    // Writes text as is; false when the child no longer reads its standard input.
    bool write(std::string_view text);
    bool writeLine(std::string_view line) { return write(std::string(line) + "\n"); }
    void closeStdin();
    // Stops reading standard output, as a host that goes away does: the child's later
    // writes there find no reader.
    void closeStdout();

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
    std::optional<ExitStatus> waitForExit(Timeout timeout);
    void sendSignal(int signalNumber);
    // Kills the child's whole process group and returns how the child ended.
    ExitStatus kill();

    // Both outputs not read yet, read to their end, and the exit status; a child still
    // running when `limit` has passed is killed.
    ProgramRun finish(Timeout limit);

private:
    struct Stream {
        int fd = -1;
        std::string buffer;
        bool ended = false;
        bool closeWanted = false;
    };

    bool ended(const Stream& stream) const;
    void drain();
    void wakeReader();
    std::optional<std::string> readLine(Stream& stream, Timeout timeout);
    std::string readToEnd(Stream& stream, Timeout timeout);
    bool reap();
    void closeAll();

    pid_t pid_ = -1;
    int stdin_ = -1;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;  // guards both streams
    std::condition_variable arrived_;
    Stream stdout_;
    Stream stderr_;
    std::atomic<bool> stopping_{false};
    bool readerDone_ = false;  // guarded by mutex_
    std::thread reader_;
    std::optional<ExitStatus> status_;
};

// Runs a program to its end with `input` on its standard input (then closed), killing
// it when it runs longer than `limit`.
ProgramRun runProgram(const std::vector<std::string>& argv, const SpawnOptions& options = {},
                      std::string_view input = {}, ChildProcess::Timeout limit = std::chrono::seconds(60));

// A shell command's standard output (its standard error as the command redirects it, or
// the test's own).
std::string shellOutput(const std::string& command);
// `text` quoted for the shell.
std::string shellQuoted(const std::string& text);

}  // namespace kelvane::testing
