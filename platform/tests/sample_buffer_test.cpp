#include "platform/sample_buffer.h"

#include <gtest/gtest.h>

namespace kelvane::platform {
namespace {

SampleTiming at(std::int64_t presentationNs) {
    return SampleTiming{MediaTime::make(1, 60), MediaTime::make(presentationNs, 1'000'000'000), MediaTime::invalid()};
}

TEST(SampleBuffer, RetimedCopySharesPayloadAndAttachments) {
    VideoFrame frame{2, 1, 8, std::vector<std::uint8_t>(8, 0x7F)};
    const SampleBuffer original = SampleBuffer::video(
        frame, at(5), SampleAttachments{{{frameStatusAttachmentKey, std::int64_t{0}}}});
    const auto copy = original.copyWithTiming(at(99));
    ASSERT_TRUE(copy.has_value());
    EXPECT_TRUE(copy->sharesPayloadWith(original));
    EXPECT_EQ(copy->presentationTimeStamp(), MediaTime::make(99, 1'000'000'000));
    EXPECT_EQ(original.presentationTimeStamp(), MediaTime::make(5, 1'000'000'000));
    ASSERT_TRUE(copy->attachments().has_value());
    EXPECT_EQ(std::get<std::int64_t>(copy->attachments()->front().at(frameStatusAttachmentKey)), 0);
    ASSERT_NE(copy->videoFrame(), nullptr);
    EXPECT_EQ(copy->videoFrame()->stride, 8);
    EXPECT_EQ(copy->audioPcm(), nullptr);

    // A recycled frame goes back, pixels and all, only once its last copy is gone.
    std::vector<std::uint8_t> returned;
    auto pooled = std::make_optional(
        SampleBuffer::video(frame, at(5), std::nullopt, [&](VideoFrame&& back) { returned = std::move(back.pixels); }));
    auto retimed = pooled->copyWithTiming(at(7));
    pooled.reset();
    EXPECT_TRUE(returned.empty()) << "a retimed copy still holds the frame";
    retimed.reset();
    EXPECT_EQ(returned, frame.pixels);
}

TEST(SampleBuffer, InvalidBuffersCannotBeCopied) {
    EXPECT_FALSE(SampleBuffer().isValid());
    EXPECT_FALSE(SampleBuffer().copyWithTiming(at(1)).has_value());
    const SampleBuffer audio = SampleBuffer::audio(AudioPcm{48000, 2, std::vector<float>(960)}, at(1));
    EXPECT_TRUE(audio.isValid());
    EXPECT_EQ(audio.audioPcm()->frameCount(), 480u);
    EXPECT_FALSE(audio.attachments().has_value());
    const SampleBuffer spoiled = audio.invalidated();
    EXPECT_FALSE(spoiled.isValid());
    EXPECT_FALSE(spoiled.copyWithTiming(at(2)).has_value());
}

}  // namespace
}  // namespace kelvane::platform
