// The recorder as the host runs it: the test build of the program (the shipped main over
// fake platform objects) as a child process, checked byte for byte; and the start-up
// refusals of the process entry.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "recorder/recorder_process.h"
#include "recorder/tests/recorder_harness.h"

extern char** environ;

namespace kelvane::recorder::test {
namespace {

const std::string program = KELVANE_BINARY_DIR "/recorder/tests/kelvane-recorder-with-fakes";

class Child {
public:
    explicit Child(const std::vector<std::string>& arguments) {
        int inPipe[2], outPipe[2], errPipe[2];
        if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
            posix_spawn_file_actions_addclose(&actions, fd);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            throw std::runtime_error("cannot start " + program);
        }
        posix_spawn_file_actions_destroy(&actions);
        close(inPipe[0]);
        close(outPipe[1]);
        close(errPipe[1]);
        input_ = inPipe[1];
        out_ = outPipe[0];
        err_ = errPipe[0];
    }
    ~Child() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {input_, out_, err_}) {
            if (fd >= 0) close(fd);
        }
    }

    void send(const std::string& text) { ASSERT_EQ(write(input_, text.data(), text.size()), ssize_t(text.size())); }
    void closeInput() {
        close(input_);
        input_ = -1;
    }
    // Reads standard output until it holds `text` or 20 s pass.
    bool waitForOutput(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (out.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !pump(out_, out, static_cast<int>(left.count()))) return false;
        }
        return true;
    }
    bool running() {
        int status;
        return waitpid(pid_, &status, WNOHANG) == 0;
    }
    void signal(int number) { kill(pid_, number); }
    // The exit status once the program has ended, or nothing if it still runs after `wait`.
    std::optional<int> endedWithin(std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Collects everything until both streams close, then the exit status.
    int finish() {
        while (pump(out_, out, 20000)) {
        }
        while (pump(err_, err, 20000)) {
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string out;
    std::string err;

private:
    // False at end of file or after `timeoutMs` of silence.
    static bool pump(int fd, std::string& into, int timeoutMs) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    int input_ = -1, out_ = -1, err_ = -1;
};

std::string temporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "recorder-process-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    return pattern;
}

struct LoggedFile {
    std::vector<double> video;
    std::vector<double> audio;
    std::optional<double> end;
    bool finished = false;
};

LoggedFile readLog(const std::string& path) {
    LoggedFile log;
    std::ifstream file(path);
    std::string kind;
    while (file >> kind) {
        if (kind == "finished") {
            log.finished = true;
            continue;
        }
        double value;
        file >> value;
        if (kind == "video") log.video.push_back(value);
        if (kind == "audio") log.audio.push_back(value);
        if (kind == "end") log.end = value;
    }
    return log;
}

TEST(RecorderProcess, RecordPauseResumeStopRun) {
    const std::string directory = temporaryDirectory();
    const std::string movie = directory + "/movie.mp4";
    Child child({R"({"outputPath":")" + movie + R"(","capturesSystemAudio":true,"systemAudioOutputPath":")" + directory +
                 R"(/system.m4a"})"});
    ASSERT_TRUE(child.waitForOutput("Recording started\n")) << child.out;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    child.send("Pause\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    child.send(" resume\nresume \nplay\nRESUME\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    child.send("stop \n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(child.running());
    child.send("sToP\npause\n");
    EXPECT_EQ(child.finish(), 0);
    EXPECT_EQ(child.out, "Recording started\nRecording stopped. Output path: " + movie + "\n");
    EXPECT_EQ(child.err, "");

    const LoggedFile log = readLog(movie);
    EXPECT_TRUE(log.finished);
    ASSERT_GT(log.video.size(), 20u);
    EXPECT_EQ(log.video.front(), 0.0);
    double widestGap = 0;
    for (std::size_t i = 1; i < log.video.size(); ++i) {
        EXPECT_GT(log.video[i], log.video[i - 1]);
        widestGap = std::max(widestGap, log.video[i] - log.video[i - 1]);
    }
    // The 1.5 s pause was cut out of the timeline.
    EXPECT_LT(widestGap, 0.75);
    ASSERT_TRUE(log.end.has_value());
    EXPECT_GE(*log.end, log.video.back());
    EXPECT_FALSE(log.audio.empty());
    EXPECT_TRUE(readLog(directory + "/system.m4a").finished);
    std::filesystem::remove_all(directory);
}

TEST(RecorderProcess, EndOfInputKeepsRecordingAndATerminationSignalStopsCleanly) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        const std::string directory = temporaryDirectory();
        const std::string movie = directory + "/signalled.mov";
        Child child({R"({"outputPath":")" + movie + R"("})"});
        ASSERT_TRUE(child.waitForOutput("Recording started\n"));
        child.closeInput();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(child.running());
        EXPECT_EQ(child.out, "Recording started\n");
        child.signal(signalNumber);
        EXPECT_EQ(child.finish(), 0) << signalNumber;
        EXPECT_EQ(child.out, "Recording started\nRecording stopped. Output path: " + movie + "\n") << signalNumber;
        EXPECT_EQ(child.err, "");
        EXPECT_TRUE(readLog(movie).finished);
        std::filesystem::remove_all(directory);
    }
}

TEST(RecorderProcess, ASecondSignalEndsAStalledFinishingWithTheSignalsOwnAction) {
    const std::string directory = temporaryDirectory();
    Child child({R"({"outputPath":")" + directory + R"(/never-finishes.mp4"})"});
    ASSERT_TRUE(child.waitForOutput("Recording started\n"));
    child.signal(SIGTERM);
    EXPECT_EQ(child.endedWithin(std::chrono::milliseconds(300)), std::nullopt) << "finishing should stall";
    child.signal(SIGINT);
    EXPECT_EQ(child.endedWithin(std::chrono::seconds(5)), 128 + SIGINT);
    std::filesystem::remove_all(directory);
}

TEST(RecorderProcess, StartFailuresEndTheProcessWithStatusZero) {
    {
        Child child({"not json"});
        EXPECT_EQ(child.finish(), 0);
        EXPECT_EQ(child.out, "");
        EXPECT_EQ(child.err.rfind("Error starting capture: ", 0), 0u) << child.err;
        EXPECT_EQ(std::count(child.err.begin(), child.err.end(), '\n'), 1);
    }
    {
        const std::string directory = temporaryDirectory();
        const std::string movie = directory + "/taken.mp4";
        std::ofstream(movie) << "keep me";
        Child child({R"({"outputPath":")" + movie + R"("})", "ignored extra argument"});
        EXPECT_EQ(child.finish(), 0);
        EXPECT_EQ(child.err, "Error starting capture: Cannot create " + movie + "\n");
        std::ifstream kept(movie);
        std::string contents;
        std::getline(kept, contents);
        EXPECT_EQ(contents, "keep me");
        std::filesystem::remove_all(directory);
    }
    {
        Child child({R"({"windowId":5})"});
        EXPECT_EQ(child.finish(), 0);
        EXPECT_EQ(child.err, "Error starting capture: Window not found\n");
    }
    {
        Child child({});
        EXPECT_EQ(child.finish(), 1);
        EXPECT_EQ(child.err, "Missing config JSON\n");
        EXPECT_EQ(child.out, "");
    }
}

// The refusals return before any thread or service exists, so they run in-process.
int runWith(RecorderHarness& h, std::vector<std::string> arguments) {
    std::vector<const char*> argv{"kelvane-recorder"};
    for (auto& argument : arguments) argv.push_back(argument.c_str());
    common::ProgramDescriptors descriptors;
    descriptors.input = -1;
    return runRecorder(argv, h.platform(), descriptors);
}

TEST(RecorderEntry, RefusalsEndWithStatusOne) {
    using platform::MicrophoneAuthorization;
    {
        RecorderHarness h;
        CapturedOutput output;
        EXPECT_EQ(runWith(h, {}), 1);
        EXPECT_EQ(output.err(), "Missing config JSON\n");
        EXPECT_EQ(h.permissions->screenRequests, 0);
    }
    {
        RecorderHarness h;
        h.permissions->preflightAnswer = false;
        h.permissions->requestAnswer = false;
        CapturedOutput output;
        EXPECT_EQ(runWith(h, {"{}"}), 1);
        EXPECT_EQ(output.err(), "SCREEN_RECORDING_PERMISSION_DENIED\n");
        EXPECT_EQ(output.out(), "");
        EXPECT_EQ(h.permissions->screenRequests, 1);
    }
    for (const auto status : {MicrophoneAuthorization::denied, MicrophoneAuthorization::restricted}) {
        RecorderHarness h;
        h.permissions->microphoneStatus = status;
        CapturedOutput output;
        EXPECT_EQ(runWith(h, {R"({"capturesMicrophone":true})"}), 1);
        EXPECT_EQ(output.err(), "MICROPHONE_PERMISSION_DENIED\n");
        EXPECT_EQ(h.permissions->microphoneRequests, 0);
    }
    {
        // Never asked before: the prompt is shown, and its refusal is final.
        RecorderHarness h;
        h.permissions->microphoneStatus = MicrophoneAuthorization::notDetermined;
        h.permissions->statusAfterPrompt = MicrophoneAuthorization::denied;
        CapturedOutput output;
        EXPECT_EQ(runWith(h, {R"({"capturesMicrophone":true})"}), 1);
        EXPECT_EQ(output.err(), "MICROPHONE_PERMISSION_DENIED\n");
        EXPECT_EQ(h.permissions->microphoneRequests, 1);
    }
}

}  // namespace
}  // namespace kelvane::recorder::test
