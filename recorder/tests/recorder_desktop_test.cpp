// kelvane-recorder run as the host runs it, on a throwaway desktop: what it prints, how
// it ends and what the files hold, decoded.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "platform/host_clock.h"
#include "platform/linux/ffmpeg/tests/media_probe.h"
#include "recorder/tests/recorder_run.h"
#include "testing/child_process.h"
#include "testing/click_player.h"

namespace kelvane::recorder::test {
namespace {

using namespace std::chrono_literals;
using platform::ffmpeg::testing::decodeAudio;
using platform::ffmpeg::testing::numberField;
using platform::ffmpeg::testing::probe;
using platform::ffmpeg::testing::streamOf;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::shellOutput;

const std::string windowMaker = KELVANE_BINARY_DIR "/testing/window_maker/kelvane-test-window";
const std::string stoppedPrefix = "Recording stopped. Output path: ";

// Plays a WAV into a sink. A low latency keeps the test desktop's virtual microphone
// (a remapped null-sink monitor) from handing its first seconds over in one late block.
ChildProcess play(const std::string& sink, const std::string& wav) {
    return ChildProcess({"paplay", "--latency-msec=20", "-d", sink, wav});
}

struct Rgb {
    int r, g, b;
};

Rgb pixelAt(const DecodedVideo& video, std::size_t frame, int x, int y) {
    const auto& pixels = video.frames.at(frame);
    const std::size_t at = (static_cast<std::size_t>(y) * video.width + x) * 3;
    return {pixels[at], pixels[at + 1], pixels[at + 2]};
}

bool near(Rgb actual, Rgb expected) {
    return std::abs(actual.r - expected.r) < 40 && std::abs(actual.g - expected.g) < 40 &&
           std::abs(actual.b - expected.b) < 40;
}

// The strongest `frequency` component over any quarter second of the samples. The test
// desktop's virtual sinks can hand their first second or so of sound over late, so where
// in the file a tone begins is not what these checks are about.
double strongestTone(const std::vector<float>& samples, double frequency) {
    constexpr std::size_t window = 12000;
    double strongest = 0;
    for (std::size_t start = 0; start + window <= samples.size(); start += window / 2) {
        const std::vector<float> part(samples.begin() + static_cast<std::ptrdiff_t>(start),
                                      samples.begin() + static_cast<std::ptrdiff_t>(start + window));
        strongest = std::max(strongest, toneAmplitude(part, frequency));
    }
    return strongest;
}

class RecorderOnDesktop : public ::testing::Test {
protected:
    std::uint32_t create(const std::string& words) {
        maker_.write("create " + words + "\n");
        const auto reply = maker_.readStdoutLine(20s);
        if (!reply || reply->empty() || !std::isdigit(static_cast<unsigned char>(reply->front()))) {
            ADD_FAILURE() << "window not made: " << reply.value_or("(no reply)");
            return 0;
        }
        return static_cast<std::uint32_t>(std::stoul(*reply));
    }
    void tell(const std::string& command) {
        maker_.write(command + "\n");
        const auto reply = maker_.readStdoutLine(20s);
        EXPECT_EQ(reply, "ok") << command;
    }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    // The CLOCK_MONOTONIC time of the next flash the window maker reports.
    std::int64_t nextFlash() {
        while (auto line = maker_.readStdoutLine(10s)) {
            if (line->starts_with("flash ")) return std::stoll(line->substr(line->rfind(' ') + 1));
        }
        ADD_FAILURE() << "no flash reported";
        return 0;
    }

    // Starts a recording, lets it run, stops it with "stop" and checks the normal ending.
    RecorderRun& recordFor(const std::string& config, std::chrono::milliseconds span) {
        run_.emplace(config);
        EXPECT_TRUE(run_->waitUntilStarted()) << run_->transcript();
        std::this_thread::sleep_for(span);
        run_->command("stop");
        EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));
        return *run_;
    }

    std::string folder_ = makeTemporaryFolder();
    ChildProcess maker_{{windowMaker}};
    std::optional<RecorderRun> run_;
};

TEST_F(RecorderOnDesktop, DisplayRecordingOfAnAnimatedWindowIsFullHdH264LastingTheRecordedSpan) {
    create("content=cycle rate=20 x=200 y=200 w=300 h=200");
    const std::string movie = path("display.mp4");
    auto& run = recordFor(R"({"outputPath":")" + movie + R"("})", 2500ms);
    EXPECT_EQ(run.lines().back(), stoppedPrefix + movie);

    const auto probed = probe(movie);
    const auto video = streamOf(probed, "video");
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["width"], 1920);
    EXPECT_EQ(video["height"], 1080);
    // Start-up and the stop's trip through the pipe are in the measured span too.
    EXPECT_NEAR(numberField(probed["format"], "duration"), run.recordedSpan(), 0.15);
    // The window changes 20 times a second: each change is a frame, and nothing more.
    const auto frames = std::stoi(video["nb_frames"].get<std::string>());
    EXPECT_GE(frames, 25);
    EXPECT_LE(frames, 75);
}

TEST_F(RecorderOnDesktop, AStaticScreenGivesAlmostNoFramesYetTheFileLastsTheWholeTime) {
    const std::string movie = path("still.mp4");
    auto& run = recordFor(R"({"outputPath":")" + movie + R"("})", 2000ms);
    const auto probed = probe(movie);
    // Of 120 capture times: refreshes ten a second while the recording gets going, then one.
    const auto frames = std::stoi(streamOf(probed, "video")["nb_frames"].get<std::string>());
    EXPECT_GE(frames, 1);
    EXPECT_LE(frames, 14);
    EXPECT_NEAR(numberField(probed["format"], "duration"), run.recordedSpan(), 0.15);
}

TEST_F(RecorderOnDesktop, ACoveredWindowIsRecordedWithItsOwnPixelsAndKeepsItsSizeWhenResized) {
    const auto recorded = create("color=#e01010 x=100 y=100 w=320 h=240");
    create("color=#10e010 x=50 y=50 w=500 h=400");
    const std::string movie = path("covered.mov");
    run_.emplace(R"({"windowId":)" + std::to_string(recorded) + R"(,"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run_->waitUntilStarted()) << run_->transcript();
    std::this_thread::sleep_for(700ms);
    tell("resize " + std::to_string(recorded) + " 160 240");
    tell("color " + std::to_string(recorded) + " #1010e0");
    std::this_thread::sleep_for(700ms);
    run_->command("stop");
    EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));

    const auto video = streamOf(probe(movie), "video");
    EXPECT_EQ(video["width"], 320);
    EXPECT_EQ(video["height"], 240);
    const DecodedVideo decoded = decodeVideo(movie, 32, 24);
    ASSERT_GE(decoded.frames.size(), 2u);
    EXPECT_TRUE(near(pixelAt(decoded, 0, 16, 12), {0xe0, 0x10, 0x10}));
    // Half as wide now: centred, with black bars left and right.
    const std::size_t last = decoded.frames.size() - 1;
    EXPECT_TRUE(near(pixelAt(decoded, last, 16, 12), {0x10, 0x10, 0xe0}));
    EXPECT_TRUE(near(pixelAt(decoded, last, 2, 12), {0, 0, 0}));
    EXPECT_TRUE(near(pixelAt(decoded, last, 29, 12), {0, 0, 0}));
}

TEST_F(RecorderOnDesktop, MinimisingTheRecordedWindowKeepsRecordingButClosingItEndsWithAPlayableFile) {
    const auto window = create("content=cycle rate=10 w=200 h=150");
    const std::string movie = path("closed.mp4");
    run_.emplace(R"({"windowId":)" + std::to_string(window) + R"(,"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run_->waitUntilStarted()) << run_->transcript();
    std::this_thread::sleep_for(800ms);
    tell("minimize " + std::to_string(window));
    // Two window checks pass while it is minimised.
    EXPECT_EQ(run_->nextLine(1500ms), std::nullopt);
    tell("activate " + std::to_string(window));
    std::this_thread::sleep_for(500ms);
    // And several while it is withdrawn.
    tell("withdraw " + std::to_string(window));
    EXPECT_EQ(run_->nextLine(2000ms), std::nullopt);
    tell("show " + std::to_string(window));
    std::this_thread::sleep_for(500ms);
    tell("close " + std::to_string(window));
    EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));
    ASSERT_EQ(run_->lines().size(), 3u);
    EXPECT_EQ(run_->lines()[1], "WINDOW_UNAVAILABLE");
    EXPECT_EQ(run_->lines()[2], stoppedPrefix + movie);
    EXPECT_TRUE(run_->errorLines().empty());
    EXPECT_GE(decodeVideo(movie, 8, 8).frames.size(), 3u);
}

TEST_F(RecorderOnDesktop, AWithdrawnWindowCanBeRecordedAndShowsOnceItIsBack) {
    const auto window = create("content=cycle rate=10 w=200 h=150");
    tell("withdraw " + std::to_string(window));
    const std::string movie = path("withdrawn.mp4");
    run_.emplace(R"({"windowId":)" + std::to_string(window) + R"(,"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run_->waitUntilStarted()) << run_->transcript();
    EXPECT_EQ(run_->nextLine(1200ms), std::nullopt);
    tell("show " + std::to_string(window));
    std::this_thread::sleep_for(1000ms);
    run_->command("stop");
    EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));
    EXPECT_EQ(run_->lines(), (std::vector<std::string>{"Recording started", stoppedPrefix + movie}));
    EXPECT_TRUE(run_->errorLines().empty());
    EXPECT_GE(decodeVideo(movie, 8, 8).frames.size(), 3u);
}

TEST_F(RecorderOnDesktop, RelativePathsLandInTheWorkingDirectoryAndTheStopLineNamesItWhole) {
    kelvane::testing::SpawnOptions inFolder;
    inFolder.workingDirectory = folder_;
    RecorderRun run(R"({"outputPath":"relative.mov","capturesSystemAudio":true,"systemAudioOutputPath":"./sound.m4a"})",
                    inFolder);
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    std::this_thread::sleep_for(500ms);
    run.command("stop");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));
    // The working directory as the program sees it, with no symbolic link left in it.
    const std::string folder = std::filesystem::canonical(folder_).string();
    EXPECT_EQ(run.lines(), (std::vector<std::string>{"Recording started", stoppedPrefix + folder + "/relative.mov"}));
    EXPECT_EQ(streamOf(probe(path("relative.mov")), "video")["codec_name"], "h264");
    EXPECT_TRUE(std::filesystem::exists(path("sound.m4a")));
}

TEST_F(RecorderOnDesktop, UnknownWindowsAndDisplaysRefuseToStart) {
    for (const auto& [config, error] :
         {std::pair{R"({"windowId":4000000000,"outputPath":")" + path("w.mp4") + R"("})", "Window not found"},
          std::pair{R"({"displayId":12345,"outputPath":")" + path("d.mp4") + R"("})", "Display not found"}}) {
        RecorderRun run(config);
        EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));
        EXPECT_TRUE(run.lines().empty());
        EXPECT_EQ(run.errorLines(), std::vector<std::string>{"Error starting capture: " + std::string(error)});
    }
}

TEST_F(RecorderOnDesktop, SystemAudioAndMicrophoneLandInTheirOwnFilesAndOnlySystemAudioInline) {
    writeToneWav(path("speakers.wav"), 440, 6, 0.5);
    writeToneWav(path("microphone.wav"), 660, 6, 0.5);
    const std::string movie = path("both.mp4"), system = path("system.m4a"), microphone = path("microphone.m4a");
    run_.emplace(R"({"outputPath":")" + movie + R"(","capturesSystemAudio":true,"systemAudioOutputPath":")" + system +
                 R"(","capturesMicrophone":true,"microphoneOutputPath":")" + microphone + R"("})");
    ASSERT_TRUE(run_->waitUntilStarted()) << run_->transcript();
    ChildProcess speakers = play(std::getenv("KELVANE_TEST_SPEAKERS_SINK"), path("speakers.wav"));
    ChildProcess feed = play(std::getenv("KELVANE_TEST_MIC_FEED_SINK"), path("microphone.wav"));
    std::this_thread::sleep_for(3000ms);
    run_->command("stop");
    EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));
    EXPECT_TRUE(run_->errorLines().empty());

    for (const auto& [file, present, absent] : {std::tuple{movie, 440.0, 660.0}, std::tuple{system, 440.0, 660.0},
                                                std::tuple{microphone, 660.0, 440.0}}) {
        EXPECT_EQ(streamOf(probe(file), "audio")["sample_rate"], "48000") << file;
        const std::vector<float> samples = decodeAudio(file);
        EXPECT_GT(strongestTone(samples, present), 0.3) << file;
        EXPECT_LT(strongestTone(samples, absent), 0.02) << file;
    }
}

// Seconds into the file at which the first sample louder than `level` plays.
double firstLoudSample(const std::string& file, float level) {
    const auto samples = decodeAudio(file);
    const auto loud = std::find_if(samples.begin(), samples.end(), [level](float s) { return std::fabs(s) > level; });
    if (loud == samples.end()) return -1;
    return numberField(streamOf(probe(file), "audio"), "start_time") +
           static_cast<double>(loud - samples.begin()) / 48000.0;
}

// Seconds into the file of the first frame at or after `from` that is white near its top left.
double firstWhiteFrame(const std::string& file, double from) {
    const DecodedVideo video = decodeVideo(file, 16, 9);
    for (std::size_t i = 0; i < video.frames.size() && i < video.times.size(); ++i) {
        if (video.times[i] >= from && near(pixelAt(video, i, 1, 1), {255, 255, 255})) return video.times[i];
    }
    return -1;
}

TEST_F(RecorderOnDesktop, AFlashAndAClickPlayedAtTheSameInstantLandWithin20Milliseconds) {
    kelvane::testing::ClickPlayer player;
    ASSERT_EQ(player.start(std::getenv("KELVANE_TEST_SPEAKERS_SINK")), std::nullopt);
    // A small window keeps the encoder well ahead, so no frame near the flash is dropped.
    const auto window = create("content=flash flash-ms=300 color=#000000 w=320 h=180");
    const std::string movie = path("sync.mp4");
    run_.emplace(R"({"windowId":)" + std::to_string(window) + R"(,"outputPath":")" + movie +
                 R"(","fps":120,"capturesSystemAudio":true,"systemAudioOutputPath":")" + path("sync.m4a") + R"("})");
    ASSERT_TRUE(run_->waitUntilStarted()) << run_->transcript();
    // The flash after next, so the monitor's first block of sound is long past.
    nextFlash();
    const std::int64_t flash = nextFlash() + 1'000'000'000;
    player.clickAt(flash);
    std::this_thread::sleep_for(std::chrono::nanoseconds(flash + 700'000'000 - platform::monotonicNanoseconds()));
    run_->command("stop");
    EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));

    const double click = firstLoudSample(movie, 0.3);
    ASSERT_GT(click, 0) << "no click in the file";
    const double white = firstWhiteFrame(movie, click - 0.5);
    ASSERT_GT(white, 0) << "no flash near the click";
    // Typically within 20 ms; the click's own placement through a second sound stream
    // and the flash's capture at 120 frames a second can each add several milliseconds.
    EXPECT_NEAR(white, click, 0.035);
}

TEST_F(RecorderOnDesktop, MicrophoneChosenByLabelOrFallingBackToTheDefault) {
    shellOutput("pactl load-module module-null-sink sink_name=second_feed rate=48000");
    shellOutput("pactl load-module module-remap-source source_name=second_mic master=second_feed.monitor "
               "source_properties=device.description=Second-Microphone");
    writeToneWav(path("second.wav"), 550, 10, 0.5);
    writeToneWav(path("default.wav"), 770, 10, 0.5);
    ChildProcess second = play("second_feed", path("second.wav"));
    ChildProcess first = play(std::getenv("KELVANE_TEST_MIC_FEED_SINK"), path("default.wav"));

    for (const auto& [choice, heard, name] :
         {std::tuple{std::string(R"("microphoneLabel":"Second-Microphone\n")"), 550.0, "label"},
          std::tuple{std::string(R"("microphoneDeviceId":"no-such-source")"), 770.0, "unknown"}}) {
        const std::string microphone = path(std::string(name) + ".m4a");
        recordFor(R"({"outputPath":")" + path(std::string(name) + ".mp4") + R"(","capturesMicrophone":true,)" + choice +
                      R"(,"microphoneOutputPath":")" + microphone + R"("})",
                  3000ms);
        const std::vector<float> samples = decodeAudio(microphone);
        EXPECT_GT(strongestTone(samples, heard), 0.3) << name;
        EXPECT_LT(strongestTone(samples, heard == 550.0 ? 770.0 : 550.0), 0.02) << name;
    }
}

TEST_F(RecorderOnDesktop, SigtermLeavesAFinishedPlayableFile) {
    create("content=cycle rate=10 w=200 h=150");
    const std::string movie = path("terminated.mp4");
    run_.emplace(R"({"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run_->waitUntilStarted()) << run_->transcript();
    std::this_thread::sleep_for(1500ms);
    run_->signal(SIGTERM);
    EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));
    const auto probed = probe(movie);
    EXPECT_NEAR(numberField(probed["format"], "duration"), run_->recordedSpan(), 0.2);
    EXPECT_GE(decodeVideo(movie, 8, 8).frames.size(), 5u);
}

TEST_F(RecorderOnDesktop, WithoutASoundServerTheMicrophoneIsSkippedAndVideoIsRecorded) {
    const std::string movie = path("silent.mp4");
    kelvane::testing::SpawnOptions noServer;
    noServer.setEnvironment["PULSE_SERVER"] = "unix:" + path("no-server");
    RecorderRun run(R"({"outputPath":")" + movie + R"(","capturesMicrophone":true,"microphoneOutputPath":")" +
                        path("unused.m4a") + R"("})",
                    noServer);
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    std::this_thread::sleep_for(1000ms);
    run.command("stop");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));
    EXPECT_EQ(run.errorLines(), std::vector<std::string>{"MICROPHONE_CAPTURE_UNAVAILABLE"});
    const auto probed = probe(movie);
    EXPECT_EQ(probed["streams"].size(), 1u);
    EXPECT_EQ(streamOf(probed, "video")["codec_name"], "h264");
    EXPECT_FALSE(std::filesystem::exists(path("unused.m4a")));
}

TEST_F(RecorderOnDesktop, APauseIsCutOutOfTheFile) {
    create("content=cycle rate=10 w=200 h=150");
    const std::string movie = path("paused.mp4");
    run_.emplace(R"({"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run_->waitUntilStarted()) << run_->transcript();
    std::this_thread::sleep_for(1000ms);
    run_->command("pause");
    std::this_thread::sleep_for(2000ms);
    run_->command("resume");
    std::this_thread::sleep_for(1000ms);
    run_->command("stop");
    EXPECT_EQ(run_->finish(), ExitStatus::exitCode(0));
    EXPECT_NEAR(numberField(probe(movie)["format"], "duration"), run_->recordedSpan() - 2.0, 0.2);
    // No gap is left where the pause was.
    const DecodedVideo decoded = decodeVideo(movie, 8, 8);
    for (std::size_t i = 1; i < decoded.times.size(); ++i) EXPECT_LT(decoded.times[i] - decoded.times[i - 1], 0.3);
}

}  // namespace
}  // namespace kelvane::recorder::test
