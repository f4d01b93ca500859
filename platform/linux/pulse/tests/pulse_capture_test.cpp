// Pulse capture against the throwaway desktop's sound server: its virtual microphone is
// fed with a tone, and the speakers' monitor hears what is played to them.
#include "platform/linux/pulse/pulse_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/audio_input.h"
#include "platform/host_clock.h"
#include "testing/click_player.h"

namespace kelvane::platform::pulse {
namespace {

using namespace std::chrono_literals;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// What a capture delivered, gathered on Pulse's thread.
struct Received {
    std::mutex mutex;
    std::vector<std::uint32_t> frameCounts;
    std::vector<std::int64_t> times;
    std::vector<std::int64_t> arrivals;
    std::size_t sampleCount = 0;
    float loudest = 0;

    PulseBufferHandler handler() {
        return [this](std::span<const float> samples, std::uint32_t frames, std::int64_t timeNs) {
            std::lock_guard lock(mutex);
            frameCounts.push_back(frames);
            times.push_back(timeNs);
            arrivals.push_back(monotonicNanoseconds());
            sampleCount += samples.size();
            for (float sample : samples) loudest = std::max(loudest, std::abs(sample));
        };
    }
};

// Plays a one-second 440 Hz tone into the sink in the background.
std::thread playTone(const std::string& sink) {
    const std::string folder = environment("KELVANE_TEST_DESKTOP_DIR");
    const std::string wav = folder + "/tone-" + sink + ".wav";
    const std::string command = "sox -n -r 48000 -c 2 '" + wav + "' synth 1 sine 440 vol 0.5 && paplay -d '" + sink +
                                "' '" + wav + "'";
    return std::thread([command] { EXPECT_EQ(std::system(command.c_str()), 0) << command; });
}

TEST(PulseCaptureTest, DefaultSourceIsTheVirtualMicrophone) {
    PulseCapture capture({});
    ASSERT_EQ(capture.connect(), std::nullopt);
    const auto source = capture.sourceInfo();
    ASSERT_TRUE(source);
    EXPECT_EQ(source->name, environment("KELVANE_TEST_MIC_SOURCE"));
    EXPECT_EQ(source->description, "Kelvane Microphone");
    EXPECT_GT(source->channels, 0u);
    EXPECT_GT(source->sampleRate, 0u);
    EXPECT_FALSE(source->isMonitor);

    PulseCapture monitor({"@DEFAULT_MONITOR@"});
    const auto speakers = monitor.sourceInfo();
    ASSERT_TRUE(speakers);
    EXPECT_TRUE(speakers->isMonitor);
}

TEST(PulseCaptureTest, MicrophoneBuffersHaveTheRequestedSizeAndMonotonicTimesOfTheirFirstSample) {
    PulseCapture capture({"", "test capture", 480});
    Received received;
    const std::int64_t before = monotonicNanoseconds();
    ASSERT_EQ(capture.start(received.handler()), std::nullopt);
    std::thread tone = playTone(environment("KELVANE_TEST_MIC_FEED_SINK"));
    tone.join();
    std::this_thread::sleep_for(200ms);
    capture.stop();
    const std::int64_t after = monotonicNanoseconds();

    std::lock_guard lock(received.mutex);
    ASSERT_GT(received.frameCounts.size(), 50u);
    for (std::uint32_t frames : received.frameCounts) EXPECT_EQ(frames, 480u);
    EXPECT_EQ(received.sampleCount, received.frameCounts.size() * 480 * captureChannels);
    EXPECT_GT(received.loudest, 0.2f) << "the tone played into the microphone was not heard";

    // A stamp is the time the first sample was captured: after the start (less the
    // server's latency, well under a second), before the buffer reached us, and later
    // than the previous buffer's by at least most of a buffer's length.
    EXPECT_GT(received.times.front(), before - 1'000'000'000);
    EXPECT_LT(received.times.back(), after);
    for (std::size_t i = 0; i < received.times.size(); ++i) {
        EXPECT_LE(received.times[i], received.arrivals[i]) << i;
        EXPECT_LT(received.arrivals[i] - received.times[i], 1'000'000'000) << i;
        if (i > 0) {
            EXPECT_GT(received.times[i] - received.times[i - 1], 8'000'000) << i;
        }
    }
}

TEST(PulseCaptureTest, NoCallbackAfterStopAndACaptureCanStartAgain) {
    PulseCapture capture({"@DEFAULT_MONITOR@"});
    Received first;
    ASSERT_EQ(capture.start(first.handler()), std::nullopt);
    // An idle null sink may take a second or so to deliver its first block.
    for (int wait = 0; wait < 100; ++wait) {
        std::this_thread::sleep_for(50ms);
        std::lock_guard lock(first.mutex);
        if (!first.frameCounts.empty()) break;
    }
    capture.stop();
    std::size_t countAtStop;
    {
        std::lock_guard lock(first.mutex);
        countAtStop = first.frameCounts.size();
    }
    EXPECT_GT(countAtStop, 0u);

    Received second;
    ASSERT_EQ(capture.start(second.handler()), std::nullopt);
    std::thread tone = playTone(environment("KELVANE_TEST_SPEAKERS_SINK"));
    tone.join();
    capture.stop();
    std::lock_guard lockFirst(first.mutex);
    EXPECT_EQ(first.frameCounts.size(), countAtStop);
    std::lock_guard lockSecond(second.mutex);
    EXPECT_GT(second.loudest, 0.2f) << "the speakers' monitor did not hear the tone";
}

TEST(PulseCaptureTest, AMonitorsSoundIsStampedWhenTheSinkPlaysIt) {
    kelvane::testing::ClickPlayer player;
    ASSERT_EQ(player.start(environment("KELVANE_TEST_SPEAKERS_SINK")), std::nullopt);
    PulseCapture capture({"@DEFAULT_MONITOR@", "test capture", 480});
    std::mutex mutex;
    std::vector<std::int64_t> heard;
    std::int64_t quietUntil = 0;
    ASSERT_EQ(capture.start([&](std::span<const float> samples, std::uint32_t frames, std::int64_t firstNs) {
        std::lock_guard lock(mutex);
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            if (std::abs(samples[frame * captureChannels]) < 0.3f) continue;
            const std::int64_t time = firstNs + std::int64_t{frame} * 1'000'000'000 / captureSampleRate;
            if (time >= quietUntil) heard.push_back(time);
            quietUntil = time + 150'000'000;
        }
    }),
              std::nullopt);
    // A second for both streams' first timing reports, then five clicks.
    std::this_thread::sleep_for(1500ms);
    for (int click = 0; click < 5; ++click) {
        player.click();
        std::this_thread::sleep_for(300ms);
    }
    std::this_thread::sleep_for(300ms);
    capture.stop();

    const std::vector<std::int64_t> played = player.clickTimes();
    ASSERT_EQ(played.size(), 5u);
    std::lock_guard lock(mutex);
    ASSERT_EQ(heard.size(), played.size());
    for (std::size_t click = 0; click < played.size(); ++click) {
        // Stamping a monitor's sound as it arrives, rather than as the sink plays it, is
        // about 10 ms early here; the server's own figures agree to well under a millisecond.
        EXPECT_LE(std::llabs(heard[click] - played[click]), 3'000'000)
            << "click " << click << " heard " << (heard[click] - played[click]) / 1000 << " us from when it played";
    }
}

TEST(PulseCaptureTest, FailuresCarryTheServersDescription) {
    PulseCapture missing({"no_such_source"});
    EXPECT_EQ(missing.sourceInfo(), std::nullopt);
    EXPECT_EQ(missing.start([](auto, auto, auto) {}), "No such entity");

    const std::string server = environment("PULSE_SERVER");
    ::setenv("PULSE_SERVER", ("unix:" + environment("KELVANE_TEST_DESKTOP_DIR") + "/nobody-listens").c_str(), 1);
    PulseCapture unreachable({});
    EXPECT_EQ(unreachable.connect(), "Connection refused");
    EXPECT_EQ(unreachable.sourceInfo(), std::nullopt);
    EXPECT_EQ(unreachable.start([](auto, auto, auto) {}), "Connection refused");
    ::setenv("PULSE_SERVER", server.c_str(), 1);
}

TEST(PulseAudioEngineTest, MicrophoneTapGetsStereoFloatAt48kInBuffersOfAtMost20ms) {
    auto engine = makeAudioEngine();
    const AudioFormat format = engine->inputFormat();
    EXPECT_EQ(format.channelCount, 2u);
    EXPECT_EQ(format.sampleRate, 48000);

    std::mutex mutex;
    std::vector<std::uint32_t> frameCounts;
    engine->installTap(1024, format, [&](const AudioBuffer& buffer) {
        std::lock_guard lock(mutex);
        EXPECT_EQ(buffer.samples.size(), std::size_t{buffer.frameCount} * 2);
        EXPECT_EQ(buffer.format.sampleRate, 48000);
        frameCounts.push_back(buffer.frameCount);
    });
    engine->prepare();
    ASSERT_EQ(engine->start(), std::nullopt);
    for (int wait = 0; wait < 100; ++wait) {
        std::this_thread::sleep_for(50ms);
        std::lock_guard lock(mutex);
        if (frameCounts.size() > 5) break;
    }
    engine->stop();
    engine->removeTap();
    std::lock_guard lock(mutex);
    ASSERT_FALSE(frameCounts.empty());
    for (std::uint32_t frames : frameCounts) EXPECT_EQ(frames, 960u);
}

}  // namespace
}  // namespace kelvane::platform::pulse
