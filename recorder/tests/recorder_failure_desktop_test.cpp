// kelvane-recorder when the servers it records from go away mid-recording: one error line,
// the recording goes on, and a later stop still writes the files. Each case ends a
// server, so these run in a throwaway desktop of their own.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "platform/linux/ffmpeg/tests/media_probe.h"
#include "recorder/tests/recorder_run.h"
#include "testing/child_process.h"

namespace kelvane::recorder::test {
namespace {

using namespace std::chrono_literals;
using platform::ffmpeg::testing::numberField;
using platform::ffmpeg::testing::probe;
using platform::ffmpeg::testing::streamOf;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::shellOutput;

const std::string stoppedPrefix = "Recording stopped. Output path: ";

int countStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& line) { return line.starts_with(prefix); }));
}

TEST(RecorderLosingAServer, AnXServerThatDiesGivesOneErrorAndTheStopStillWritesTheMovie) {
    // A display server of this test's own, so ending it leaves the shared desktop alone;
    // without -noreset it would restart, refusing connections, whenever its last client left.
    ChildProcess server({"Xvfb", "-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    const auto displayNumber = server.readStdoutLine(30s);
    ASSERT_TRUE(displayNumber && !displayNumber->empty());
    kelvane::testing::SpawnOptions onThatServer;
    onThatServer.setEnvironment["DISPLAY"] = ":" + *displayNumber;

    const std::string folder = makeTemporaryFolder();
    const std::string movie = folder + "/x-lost.mp4";
    RecorderRun run(R"({"outputPath":")" + movie + R"("})", onThatServer);
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    // Long enough for the still screen's once-a-second complete frame.
    std::this_thread::sleep_for(1500ms);
    server.kill();
    std::this_thread::sleep_for(800ms);
    run.command("stop");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));

    ASSERT_EQ(run.errorLines().size(), 1u);
    EXPECT_TRUE(run.errorLines()[0].starts_with("Error: ")) << run.errorLines()[0];
    EXPECT_EQ(run.lines().back(), stoppedPrefix + movie);
    const auto probed = probe(movie);
    EXPECT_EQ(streamOf(probed, "video")["width"], 640);
    EXPECT_GT(numberField(probed["format"], "duration"), 0.5);
}

TEST(RecorderLosingAServer, APulseServerThatDiesGivesOneErrorAndTheStopStillWritesEveryFile) {
    const std::string folder = makeTemporaryFolder();
    const std::string movie = folder + "/pulse-lost.mp4", system = folder + "/pulse-lost.m4a";
    writeToneWav(folder + "/tone.wav", 440, 8, 0.5);
    ChildProcess speakers({"paplay", "--latency-msec=20", "-d", std::getenv("KELVANE_TEST_SPEAKERS_SINK"),
                             folder + "/tone.wav"});
    RecorderRun run(R"({"outputPath":")" + movie + R"(","capturesSystemAudio":true,"systemAudioOutputPath":")" +
                    system + R"("})");
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    // The null sink's monitor may hand over its first two seconds in one block.
    std::this_thread::sleep_for(3000ms);
    shellOutput("pactl exit");
    std::this_thread::sleep_for(800ms);
    run.command("stop");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));

    EXPECT_EQ(countStartingWith(run.errorLines(), "Error: "), 1);
    EXPECT_EQ(run.errorLines().size(), 1u);
    EXPECT_EQ(run.lines().back(), stoppedPrefix + movie);
    EXPECT_EQ(streamOf(probe(movie), "video")["codec_name"], "h264");
    EXPECT_EQ(streamOf(probe(system), "audio")["codec_name"], "aac");
}

}  // namespace
}  // namespace kelvane::recorder::test
