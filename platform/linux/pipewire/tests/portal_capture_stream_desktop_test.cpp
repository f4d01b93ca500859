// The capture stream of a Wayland session on its own, on the throwaway Wayland desktop
// (whose clock terminal redraws all the time): what it hands to a consumer that holds on
// to its frames, which times the frames carry, and what it stops handing over.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/capture_stream.h"
#include "platform/host_clock.h"
#include "testing/held_capture_queue.h"
#include "platform/linux/pipewire/portal_capture_streams.h"

namespace kelvane::platform {
namespace {

using namespace std::chrono_literals;

using testing::HeldQueue;
using Received = testing::ReceivedScreenSamples;

FrameStatus status(const SampleBuffer& buffer) {
    return static_cast<FrameStatus>(std::get<std::int64_t>(buffer.attachments()->front().at(frameStatusAttachmentKey)));
}

std::optional<std::string> run(const std::function<void(StreamCompletion)>& operation) {
    std::optional<std::string> outcome = "(no completion)";
    operation([&outcome](std::optional<std::string> error) { outcome = std::move(error); });
    return outcome;
}

StreamConfiguration fullHd(int queueDepth) {
    StreamConfiguration configuration;
    configuration.width = 1920;
    configuration.height = 1080;
    configuration.minimumFrameInterval = MediaTime::make(1, 30);
    configuration.queueDepth = queueDepth;
    return configuration;
}

const DisplayContentFilter headlessOutput{ShareableDisplay{1, Rect{0, 0, 1920, 1080}, 1920, 1080}, {}, {}};

TEST(PortalCaptureStreamOnDesktop, ShowsTheOutputAsItChangesStampedWhenShownAndAtMostQueueDepthAtOnce) {
    auto received = std::make_shared<Received>();
    const MediaTime before = monotonicHostTime();
    auto stream = pipewire::makePortalCaptureStreams(nullptr)->makeStream(headlessOutput, fullHd(3), received);
    HeldQueue held;
    stream->addStreamOutput(received, StreamOutputType::screen, held.queue());
    ASSERT_EQ(run([&](auto done) { stream->startCapture(std::move(done)); }), std::nullopt);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(held.size(), 3u) << "a consumer holding frames gets no more than the queue's depth";
    held.runAll();
    ASSERT_EQ(received->samples.size(), 3u);
    const SampleBuffer& first = received->samples[0];
    EXPECT_EQ(status(first), FrameStatus::complete);
    ASSERT_NE(first.videoFrame(), nullptr);
    EXPECT_EQ(first.videoFrame()->width, 1920);
    EXPECT_EQ(first.videoFrame()->height, 1080);
    EXPECT_EQ(first.videoFrame()->pixels[3], 0xff);
    EXPECT_TRUE(before < first.presentationTimeStamp());

    // The clock redraws every 50 ms: in a second at 30 frames a second most frames show
    // a change, stamped in order on the host clock, and their pictures differ.
    received->samples.clear();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(50ms);
        held.runAll();
    }
    std::vector<const SampleBuffer*> complete;
    for (const auto& sample : received->samples) {
        if (status(sample) == FrameStatus::complete) complete.push_back(&sample);
    }
    EXPECT_GE(complete.size(), 8u);
    for (std::size_t i = 1; i < received->samples.size(); ++i) {
        EXPECT_TRUE(received->samples[i - 1].presentationTimeStamp() < received->samples[i].presentationTimeStamp());
    }
    EXPECT_TRUE(received->samples.back().presentationTimeStamp() < monotonicHostTime());
    ASSERT_GE(complete.size(), 2u);
    EXPECT_NE(complete.front()->videoFrame()->pixels, complete.back()->videoFrame()->pixels);

    ASSERT_EQ(run([&](auto done) { stream->stopCapture(std::move(done)); }), std::nullopt);
    const std::size_t atStop = received->samples.size();
    std::this_thread::sleep_for(100ms);
    held.runAll();
    EXPECT_EQ(received->samples.size(), atStop) << "samples handed over after the stop completed";
    std::lock_guard lock(received->mutex);
    EXPECT_TRUE(received->errors.empty());
}

TEST(PortalCaptureStreamOnDesktop, ADisplayTheCastDoesNotShowIsAStartError) {
    auto received = std::make_shared<Received>();
    const DisplayContentFilter elsewhere{ShareableDisplay{2, Rect{1920, 0, 1280, 1024}, 1280, 1024}, {}, {}};
    auto stream = pipewire::makePortalCaptureStreams(nullptr)->makeStream(elsewhere, fullHd(3), received);
    stream->addStreamOutput(received, StreamOutputType::screen, HeldQueue().queue());
    const auto error = run([&](auto done) { stream->startCapture(std::move(done)); });
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("does not show the display"), std::string::npos) << *error;
}

}  // namespace
}  // namespace kelvane::platform
