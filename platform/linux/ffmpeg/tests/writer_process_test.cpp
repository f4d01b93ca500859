// Whole recording processes: killed with SIGKILL while writing or while finishing, or
// running out of room for the movie file while the audio files still fit.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/ffmpeg/tests/media_probe.h"
#include "platform/linux/ffmpeg/tests/synthetic_media.h"
#include "testing/child_process.h"

namespace kelvane::platform::ffmpeg::testing {
namespace {

using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::shellOutput;
using kelvane::testing::shellQuoted;

// writer_probe running as a child, its standard output read line by line.
ChildProcess startProbe(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{WRITER_PROBE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess(argv);
}

double lastVideoFrameTime(const std::string& path) {
    const auto frames = probeFrames(path, "v:0").at("frames");
    return frames.empty() ? 0.0 : numberField(frames.back(), "pts_time");
}

TEST(WriterProcess, SigkillAfterFiveSecondsLeavesAtLeastThreeSecondsOfVideoAndAudio) {
    ScratchFolder folder;
    const std::string movie = folder.file("killed.mp4");
    const std::string systemAudio = folder.file("killed-system.m4a");
    ChildProcess process = startProbe({"--movie", movie, "--audio", systemAudio, "--seconds", "60", "--realtime"});
    ASSERT_EQ(process.readStdoutLine(std::chrono::seconds(60)), "started");
    std::this_thread::sleep_for(std::chrono::seconds(5));
    process.kill();

    EXPECT_GE(lastVideoFrameTime(movie), 3.0);
    // A loaded machine may drop frames while writing in real time, but not most of them.
    EXPECT_GE(probeFrames(movie, "v:0").at("frames").size(), 90u);
    EXPECT_GE(decodeAudio(movie).size(), 3u * 48000);
    EXPECT_GE(decodeAudio(systemAudio).size(), 3u * 48000);
    // Players that read the length from the header rather than the last fragment see the
    // whole of it, give or take the fragment being written.
    EXPECT_NEAR(discoveredDuration(movie), lastVideoFrameTime(movie), 1.0);
    EXPECT_NEAR(discoveredDuration(systemAudio), static_cast<double>(decodeAudio(systemAudio).size()) / 48000, 1.0);
}

struct FinishingKill {
    std::string step;
    bool indexCutShort;  // as if the power failed while the index was being written
};

void PrintTo(const FinishingKill& c, std::ostream* out) { *out << c.step << (c.indexCutShort ? ", index cut short" : ""); }

class KilledWhileFinishing : public ::testing::TestWithParam<FinishingKill> {};

TEST_P(KilledWhileFinishing, EveryFrameAndSoundStaysPlayable) {
    const FinishingKill c = GetParam();
    ScratchFolder folder;
    const std::string movie = folder.file("finishing.mp4");
    ChildProcess process = startProbe({"--movie", movie, "--seconds", "3", "--kill-while-finishing", c.step});
    ASSERT_EQ(process.readStdoutLine(std::chrono::seconds(120)), "started");
    ASSERT_EQ(process.waitForExit(std::chrono::seconds(120)), ExitStatus::killedBy(SIGKILL))
        << "the process was not killed at " << c.step << ": " << process.readStderrToEnd(std::chrono::seconds(1));
    if (c.indexCutShort) {
        ASSERT_EQ(topLevelBoxes(movie).back(), "moov");
        std::filesystem::resize_file(movie, std::filesystem::file_size(movie) - 1000);
    }

    EXPECT_EQ(shellOutput("ffmpeg -v error -i " + shellQuoted(movie) + " -f null - 2>&1"), "");
    EXPECT_EQ(probeFrames(movie, "v:0").at("frames").size(), 180u);
    EXPECT_NEAR(lastVideoFrameTime(movie), 179.0 / 60, 0.03);
    // All the sound: with the indexed file's edit list exactly 3 s, without it the encoder
    // priming too.
    EXPECT_NEAR(static_cast<double>(decodeAudio(movie).size()) / 48000, 3.0, 2 * 1024.0 / 48000);
    EXPECT_NEAR(discoveredDuration(movie), 3.0, 0.03);
    // Nothing was left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, KilledWhileFinishing,
                         ::testing::Values(FinishingKill{"closed", false}, FinishingKill{"appended", false},
                                           FinishingKill{"appended", true}, FinishingKill{"committed", false}),
                         [](const ::testing::TestParamInfo<FinishingKill>& testCase) {
                             return testCase.param.step + (testCase.param.indexCutShort ? "IndexCutShort" : "");
                         });

TEST(WriterProcess, SigkillOnAStillScreenKeepsThePicturesOfAllButTheLastSeconds) {
    ScratchFolder folder;
    const std::string movie = folder.file("still.mov");
    // One picture a second: the encoder's look-ahead alone would hold back more than that.
    ChildProcess process = startProbe({"--movie", movie, "--seconds", "60", "--realtime", "--still"});
    ASSERT_EQ(process.readStdoutLine(std::chrono::seconds(60)), "started");
    std::this_thread::sleep_for(std::chrono::seconds(6));
    process.kill();
    // Each picture is written once the next one shows how long it lasted.
    EXPECT_GE(lastVideoFrameTime(movie), 3.0);
}

TEST(WriterProcess, FullDiskFailsTheMovieWhileTheAudioFilesFinish) {
    ScratchFolder folder;
    const std::string movie = folder.file("full.mov");
    const std::string systemAudio = folder.file("full-system.m4a");
    const std::string microphone = folder.file("full-microphone.m4a");
    ChildProcess process = startProbe({"--movie", movie, "--audio", systemAudio, "--audio", microphone, "--seconds", "3",
                                       "--file-size-limit", "150000"});
    std::vector<std::string> lines;
    while (auto line = process.readStdoutLine(std::chrono::seconds(120))) lines.push_back(*line);
    ASSERT_EQ(process.waitForExit(std::chrono::seconds(120)), ExitStatus::exitCode(0))
        << "writer_probe ended abnormally: " << process.readStderrToEnd(std::chrono::seconds(1));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "started");
    EXPECT_EQ(lines[1].rfind(movie + " failed ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("\"" + movie + "\""), std::string::npos) << "the error names the file: " << lines[1];
    EXPECT_EQ(lines[2], systemAudio + " completed");
    EXPECT_EQ(lines[3], microphone + " completed");
    EXPECT_NEAR(numberField(probe(systemAudio).at("format"), "duration"), 3.0, 1.0 / 48000);
    EXPECT_NEAR(numberField(probe(microphone).at("format"), "duration"), 3.0, 1.0 / 48000);
    // What reached the disk before it filled up stays playable.
    EXPECT_GT(lastVideoFrameTime(movie), 0.0);
}

}  // namespace
}  // namespace kelvane::platform::ffmpeg::testing
