// The X11 capture stream on its own, on a throwaway desktop: what it hands to a consumer
// that holds on to its frames, and what it stops handing over.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/capture_stream.h"
#include "platform/host_clock.h"
#include "testing/held_capture_queue.h"

namespace kelvane::platform {
namespace {

using namespace std::chrono_literals;

using testing::HeldQueue;
using Received = testing::ReceivedScreenSamples;

std::int64_t status(const SampleBuffer& buffer) {
    const auto& attachments = buffer.attachments();
    if (!attachments || attachments->empty()) return -1;
    return std::get<std::int64_t>(attachments->front().at(frameStatusAttachmentKey));
}

std::optional<std::string> run(const std::function<void(StreamCompletion)>& operation) {
    std::optional<std::string> outcome = "(no completion)";
    operation([&outcome](std::optional<std::string> error) { outcome = std::move(error); });
    return outcome;
}

TEST(X11CaptureStreamOnDesktop, AConsumerHoldingFramesGetsAtMostQueueDepthFirstCompleteThenIdle) {
    auto received = std::make_shared<Received>();
    StreamConfiguration configuration;
    configuration.width = 1920;
    configuration.height = 1080;
    configuration.minimumFrameInterval = MediaTime::make(1, 60);
    configuration.queueDepth = 3;
    const DisplayContentFilter filter{ShareableDisplay{1, Rect{0, 0, 1920, 1080}, 1920, 1080}, {}, {}};
    auto stream = makeCaptureStreams()->makeStream(filter, configuration, received);
    HeldQueue held;
    stream->addStreamOutput(received, StreamOutputType::screen, held.queue());

    const MediaTime before = monotonicHostTime();
    ASSERT_EQ(run([&](auto done) { stream->startCapture(std::move(done)); }), std::nullopt);
    std::this_thread::sleep_for(300ms);
    // Eighteen capture times have passed; only three frames may wait.
    EXPECT_EQ(held.size(), 3u);
    held.runAll();
    ASSERT_EQ(received->samples.size(), 3u);

    const SampleBuffer& first = received->samples[0];
    EXPECT_EQ(status(first), static_cast<std::int64_t>(FrameStatus::complete));
    ASSERT_NE(first.videoFrame(), nullptr);
    EXPECT_EQ(first.videoFrame()->width, 1920);
    EXPECT_EQ(first.videoFrame()->height, 1080);
    EXPECT_EQ(first.videoFrame()->pixels.size(), 1920u * 1080u * 4u);
    EXPECT_EQ(first.videoFrame()->pixels[3], 0xff);
    EXPECT_TRUE(before < first.presentationTimeStamp());
    EXPECT_TRUE(first.presentationTimeStamp() < received->samples[1].presentationTimeStamp());
    EXPECT_TRUE(received->samples[2].presentationTimeStamp() < monotonicHostTime());

    // Past the first second, in which still pictures are refreshed often, nothing on the
    // bare desktop moves: of three frames taken at once at most one is a refresh.
    std::this_thread::sleep_for(1200ms);
    held.runAll();
    received->samples.clear();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(held.size(), 3u);
    held.runAll();
    ASSERT_EQ(received->samples.size(), 3u);
    const auto idle = std::count_if(received->samples.begin(), received->samples.end(), [](const SampleBuffer& b) {
        return status(b) == static_cast<std::int64_t>(FrameStatus::idle) && b.videoFrame()->pixels.empty();
    });
    EXPECT_GE(idle, 2);

    ASSERT_EQ(run([&](auto done) { stream->stopCapture(std::move(done)); }), std::nullopt);
    held.runAll();
    EXPECT_EQ(received->samples.size(), 3u) << "samples handed over after the stop completed";
    EXPECT_TRUE(received->errors.empty());
}

TEST(X11CaptureStreamOnDesktop, AWindowThatIsGoneGivesNoFramesAndNoError) {
    auto received = std::make_shared<Received>();
    StreamConfiguration configuration;
    configuration.width = 200;
    configuration.height = 100;
    configuration.minimumFrameInterval = MediaTime::make(1, 60);
    ShareableWindow window;
    window.windowID = 0x3fffff0;
    auto stream = makeCaptureStreams()->makeStream(WindowContentFilter{window}, configuration, received);
    HeldQueue held;
    stream->addStreamOutput(received, StreamOutputType::screen, held.queue());
    ASSERT_EQ(run([&](auto done) { stream->startCapture(std::move(done)); }), std::nullopt);
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(run([&](auto done) { stream->stopCapture(std::move(done)); }), std::nullopt);
    EXPECT_EQ(held.size(), 0u);
    EXPECT_TRUE(received->errors.empty());
}

}  // namespace
}  // namespace kelvane::platform
