// The timing rules of the writer that need no file: where audio lands, how long video
// packets last, how media times become ticks, the bounded queue, and proposed settings.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <future>
#include <vector>

#include "platform/linux/ffmpeg/audio_timeline.h"
#include "platform/linux/ffmpeg/bounded_worker.h"
#include "platform/linux/ffmpeg/media_ticks.h"
#include "platform/linux/ffmpeg/packet_durations.h"
#include "platform/linux/ffmpeg/video_encoder.h"
#include "platform/linux/ffmpeg/video_encoder_settings.h"

namespace kelvane::platform::ffmpeg {
namespace {

TEST(AudioTimeline, SmallJitterKeepsTheTrackContinuous) {
    AudioTimeline timeline(96);
    EXPECT_EQ(timeline.place(0, 480).take, 480);
    // 1 ms late and 1 ms early: within tolerance, nothing inserted or dropped.
    const auto late = timeline.place(480 + 48, 480);
    EXPECT_EQ(late.silence, 0);
    EXPECT_EQ(late.skip, 0);
    const auto early = timeline.place(960 - 48, 480);
    EXPECT_EQ(early.silence, 0);
    EXPECT_EQ(early.skip, 0);
    EXPECT_EQ(timeline.position(), 1440);
}

TEST(AudioTimeline, GapsBecomeSilenceAndOverlapsAreTrimmed) {
    AudioTimeline timeline(96);
    // The first buffer comes 100 ms after the session start.
    const auto first = timeline.place(4800, 480);
    EXPECT_EQ(first.silence, 4800);
    EXPECT_EQ(first.take, 480);
    // A 200 ms gap.
    const auto afterGap = timeline.place(5280 + 9600, 480);
    EXPECT_EQ(afterGap.silence, 9600);
    EXPECT_EQ(afterGap.take, 480);
    EXPECT_EQ(timeline.position(), 15360);
    // A 5 ms overlap loses exactly its first 240 samples.
    const auto overlap = timeline.place(15360 - 240, 480);
    EXPECT_EQ(overlap.silence, 0);
    EXPECT_EQ(overlap.skip, 240);
    EXPECT_EQ(overlap.take, 240);
    EXPECT_EQ(timeline.position(), 15600);
    // A buffer wholly in the past adds nothing.
    const auto stale = timeline.place(1000, 480);
    EXPECT_EQ(stale.take, 0);
    EXPECT_EQ(timeline.position(), 15600);
}

TEST(AudioTimeline, AudioBeforeTheSessionStartIsDropped) {
    AudioTimeline timeline(96);
    const auto early = timeline.place(-300, 480);
    EXPECT_EQ(early.skip, 300);
    EXPECT_EQ(early.take, 180);
    EXPECT_EQ(timeline.position(), 180);
}

TEST(AudioTimeline, NothingPassesTheEnd) {
    AudioTimeline timeline(96);
    timeline.setEnd(1000);
    EXPECT_EQ(timeline.place(0, 480).take, 480);
    const auto cut = timeline.place(480, 960);
    EXPECT_EQ(cut.take, 520);
    EXPECT_EQ(timeline.position(), 1000);
    EXPECT_EQ(timeline.place(1000, 480).take, 0);

    // Silence before a late buffer is cut at the end too.
    AudioTimeline gappy(96);
    gappy.setEnd(2000);
    const auto late = gappy.place(5000, 480);
    EXPECT_EQ(late.silence, 2000);
    EXPECT_EQ(late.take, 0);
}

PacketPtr packetAt(std::int64_t pts) {
    PacketPtr packet(av_packet_alloc());
    EXPECT_EQ(av_new_packet(packet.get(), 4), 0);
    packet->pts = pts;
    packet->dts = pts;
    return packet;
}

TEST(PacketDurations, EachPacketLastsUntilTheNextAndTheLastAsToldAtTheEnd) {
    using Timing = std::pair<std::int64_t, std::int64_t>;
    std::vector<Timing> out;
    PacketDurations durations([&out](AVPacket& packet) { out.emplace_back(packet.pts, packet.duration); });
    durations.push(*packetAt(0));
    EXPECT_TRUE(out.empty());  // held until its successor is known
    durations.push(*packetAt(1500));
    durations.push(*packetAt(4500));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], Timing(0, 1500));
    EXPECT_EQ(out[1], Timing(1500, 3000));
    durations.finish(777);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2], Timing(4500, 777));
    durations.finish(10);  // nothing left to pass on
    EXPECT_EQ(out.size(), 3u);
}

TEST(MediaTicks, ConvertsExactlyAndRoundsToTheNearestTick) {
    const MediaTime zero = MediaTime::zero();
    EXPECT_EQ(ticksSince(zero, MediaTime::make(1, 3), 90000), 30000);
    EXPECT_EQ(ticksSince(zero, MediaTime::make(1, 60), 90000), 1500);
    EXPECT_EQ(ticksSince(zero, MediaTime::make(1, 3), 48000), 16000);
    // 1 ns rounds to no tick, 6 µs to one tick of 1/90000 s (11.1 µs).
    EXPECT_EQ(ticksSince(zero, MediaTime::make(1, 1000000000), 90000), 0);
    EXPECT_EQ(ticksSince(zero, MediaTime::make(6, 1000000), 90000), 1);
    EXPECT_EQ(ticksSince(zero, MediaTime::make(-6, 1000000), 90000), -1);
    // Measured from another origin, across timescales.
    EXPECT_EQ(ticksSince(MediaTime::make(5, 1), MediaTime::make(5'500'000'000, 1000000000), 48000), 24000);
    EXPECT_EQ(ticksSince(zero, MediaTime::invalid(), 48000), std::nullopt);
}

TEST(BoundedWorker, RefusesWithoutWaitingWhenFullAndHandlesEverythingItTook) {
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released(release.get_future());
    std::vector<int> handled;
    bool first = true;
    BoundedWorker<int> worker(3, [&](int& item) {
        if (first) {
            first = false;
            started.set_value();
            released.wait();
        }
        handled.push_back(item);
    });
    ASSERT_TRUE(worker.tryPush(0));
    started.get_future().wait();  // item 0 is now being handled and stuck
    EXPECT_TRUE(worker.tryPush(1));
    EXPECT_TRUE(worker.tryPush(2));
    EXPECT_FALSE(worker.isFull());
    EXPECT_TRUE(worker.tryPush(3));
    EXPECT_TRUE(worker.isFull());

    // A refusal must not wait for the stuck handler.
    auto attempt = std::async(std::launch::async, [&worker] { return worker.tryPush(4); });
    const bool returned = attempt.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    release.set_value();
    ASSERT_TRUE(returned) << "tryPush waited for the worker";
    EXPECT_FALSE(attempt.get());

    worker.close();
    EXPECT_FALSE(worker.tryPush(5));
    worker.join();
    EXPECT_EQ(handled, (std::vector<int>{0, 1, 2, 3}));
}

TEST(BoundedWorker, CallsTheIdleHandlerOnceAfterEachQuietSpell) {
    std::atomic<int> idles{0};
    std::vector<int> handled;
    BoundedWorker<int> worker(
        4, [&handled](int& item) { handled.push_back(item); }, std::chrono::milliseconds(20), [&idles] { ++idles; });
    const auto waitForIdles = [&idles](int count) {
        for (int i = 0; i < 5000 && idles < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return idles.load();
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(idles, 0);  // nothing handled yet, nothing to catch up on
    ASSERT_TRUE(worker.tryPush(1));
    EXPECT_EQ(waitForIdles(1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(idles, 1);  // not again until something new was handled
    ASSERT_TRUE(worker.tryPush(2));
    EXPECT_EQ(waitForIdles(2), 2);
    worker.close();
    worker.join();
    EXPECT_EQ(handled, (std::vector<int>{1, 2}));
}

TEST(VideoSettings, ProposedForUsableSizesOnly) {
    const auto hd = proposeVideoSettings(1920, 1080);
    ASSERT_TRUE(hd.has_value());
    EXPECT_EQ(hd->codec, VideoCodec::h264);
    EXPECT_EQ(hd->width, 1920);
    EXPECT_EQ(hd->height, 1080);
    EXPECT_NE(hd->profileLevel.find("High"), std::string::npos);

    EXPECT_TRUE(proposeVideoSettings(3, 2).has_value());
    EXPECT_FALSE(proposeVideoSettings(1, 1080).has_value());
    EXPECT_FALSE(proposeVideoSettings(1920, 0).has_value());
    EXPECT_FALSE(proposeVideoSettings(9000, 1080).has_value());

    EXPECT_EQ(encodedDimension(801), 800);
    EXPECT_EQ(encodedDimension(600), 600);
}

TEST(VideoSettings, TheEncoderHoldsNoFrameBack) {
    // Whatever the encoder holds back is lost when the recording process is killed, and on
    // a still screen frames come a second apart.
    VideoEncoder encoder(*proposeVideoSettings(320, 180));
    VideoFrame frame{320, 180, 320 * 4, std::vector<std::uint8_t>(320 * 180 * 4, 128)};
    int packets = 0;
    for (int i = 0; i < 30; ++i) {
        frame.pixels[static_cast<std::size_t>(i) * 97] = 255;
        encoder.encode(SampleBuffer::video(frame, SampleTiming{}), i * 90000, [&packets](AVPacket&) { ++packets; });
        EXPECT_EQ(encoder.framesHeld(), 0) << "after frame " << i;
    }
    EXPECT_EQ(packets, 30);
}

TEST(VideoSettings, TheAssistantAnswersForTheSourceSize) {
    auto made = makeOutputSettingsAssistant(OutputSettingsPreset::preset3840x2160);
    ASSERT_TRUE(made);  // libx264 is part of the FFmpeg this is built with
    const auto& assistant = *made;
    const auto preset = assistant->videoSettings();
    ASSERT_TRUE(preset);
    EXPECT_EQ(preset->width, 3840);
    assistant->setSourceVideoFormat(makeVideoFormatDescription(VideoCodec::h264, 1280, 720).value());
    const auto sized = assistant->videoSettings();
    ASSERT_TRUE(sized);
    EXPECT_EQ(sized->width, 1280);
    EXPECT_EQ(sized->height, 720);
    assistant->setSourceVideoFormat(makeVideoFormatDescription(VideoCodec::h264, 1, 1).value());
    EXPECT_FALSE(assistant->videoSettings());
    EXPECT_FALSE(makeVideoFormatDescription(VideoCodec::h264, 0, 720));
}

}  // namespace
}  // namespace kelvane::platform::ffmpeg
