// The recorder as the host runs it: the test build of the program (the shipped main over
// fake platform objects) as a child process, checked byte for byte; and the start-up
// refusals of the process entry.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "recorder/recorder_process.h"
#include "recorder/tests/recorder_harness.h"
#include "testing/child_process.h"

namespace kelvane::recorder::test {
namespace {

using namespace std::chrono_literals;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::ProgramRun;

const std::string program = KELVANE_BINARY_DIR "/recorder/tests/kelvane-recorder-with-fakes";

// The program as the host starts it, with `arguments` after its name.
ChildProcess startRecorder(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess(argv);
}

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
    ChildProcess child = startRecorder({R"({"outputPath":")" + movie +
                                        R"(","capturesSystemAudio":true,"systemAudioOutputPath":")" + directory +
                                        R"(/system.m4a"})"});
    ASSERT_EQ(child.readStdoutLine(20s), "Recording started");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    child.write("Pause\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    child.write(" resume\nresume \nplay\nRESUME\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    child.write("stop \n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(child.waitForExit(0ms), std::nullopt) << "only an exact stop line stops";
    child.write("sToP\npause\n");
    const ProgramRun run = child.finish(20s);
    EXPECT_EQ(run.status, ExitStatus::exitCode(0));
    EXPECT_EQ(run.out, "Recording stopped. Output path: " + movie + "\n");
    EXPECT_EQ(run.err, "");

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
        ChildProcess child = startRecorder({R"({"outputPath":")" + movie + R"("})"});
        ASSERT_EQ(child.readStdoutLine(20s), "Recording started");
        child.closeStdin();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(child.waitForExit(0ms), std::nullopt);
        EXPECT_EQ(child.readStdoutLine(0ms), std::nullopt) << "nothing after the start line yet";
        child.sendSignal(signalNumber);
        const ProgramRun run = child.finish(20s);
        EXPECT_EQ(run.status, ExitStatus::exitCode(0)) << signalNumber;
        EXPECT_EQ(run.out, "Recording stopped. Output path: " + movie + "\n") << signalNumber;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(readLog(movie).finished);
        std::filesystem::remove_all(directory);
    }
}

TEST(RecorderProcess, ASecondSignalEndsAStalledFinishingWithTheSignalsOwnAction) {
    const std::string directory = temporaryDirectory();
    ChildProcess child = startRecorder({R"({"outputPath":")" + directory + R"(/never-finishes.mp4"})"});
    ASSERT_EQ(child.readStdoutLine(20s), "Recording started");
    child.sendSignal(SIGTERM);
    EXPECT_EQ(child.waitForExit(300ms), std::nullopt) << "finishing should stall";
    child.sendSignal(SIGINT);
    EXPECT_EQ(child.waitForExit(5s), ExitStatus::killedBy(SIGINT));
    std::filesystem::remove_all(directory);
}

// Runs the program with `arguments` to its end, its standard input left open as the host does.
ProgramRun runRecorderProcess(const std::vector<std::string>& arguments) {
    return startRecorder(arguments).finish(20s);
}

TEST(RecorderProcess, StartFailuresEndTheProcessWithStatusZero) {
    // Refusals of what the host passed: one line on standard error, nothing on standard output.
    struct Refusal {
        std::vector<std::string> arguments;
        ExitStatus status;
        std::string error;  // the whole output, or its start where the parser's own words follow
        bool errorIsStart = false;
    };
    for (const Refusal& refusal :
         {Refusal{{"not json"}, ExitStatus::exitCode(0), "Error starting capture: ", true},
          Refusal{{R"({"windowId":5})"}, ExitStatus::exitCode(0), "Error starting capture: Window not found\n"},
          Refusal{{}, ExitStatus::exitCode(1), "Missing config JSON\n"}}) {
        const ProgramRun run = runRecorderProcess(refusal.arguments);
        EXPECT_EQ(run.status, refusal.status) << refusal.error;
        EXPECT_EQ(run.out, "") << refusal.error;
        EXPECT_EQ(refusal.errorIsStart ? run.err.substr(0, refusal.error.size()) : run.err, refusal.error);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    {
        const std::string directory = temporaryDirectory();
        const std::string movie = directory + "/taken.mp4";
        std::ofstream(movie) << "keep me";
        const ProgramRun run = runRecorderProcess({R"({"outputPath":")" + movie + R"("})", "ignored extra argument"});
        EXPECT_EQ(run.status, ExitStatus::exitCode(0));
        EXPECT_EQ(run.err, "Error starting capture: Cannot create " + movie + "\n");
        std::ifstream kept(movie);
        std::string contents;
        std::getline(kept, contents);
        EXPECT_EQ(contents, "keep me");
        std::filesystem::remove_all(directory);
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
