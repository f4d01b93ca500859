#include <gtest/gtest.h>

#include <thread>

#include "platform/speech.h"

namespace kelvane::platform {
namespace {

AudioBuffer buffer(const std::vector<float>& samples) {
    return AudioBuffer{{1, 16000}, samples, static_cast<std::uint32_t>(samples.size()), 0};
}

TEST(SpeechRequestTest, ConsumerTakesWaitingChunksInOrderAndSeesTheEnd) {
    SpeechAudioBufferRecognitionRequest request;
    const std::vector<float> a{1, 2}, b{3}, c{4, 5, 6};
    request.appendAudioBuffer(buffer(a));
    request.appendAudioBuffer(buffer(b));
    auto first = request.takeChunks();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].samples, a);
    EXPECT_EQ(first[1].samples, b);

    request.appendAudioBuffer(buffer(c));
    request.endAudio();
    request.appendAudioBuffer(buffer(a));  // too late: the audio has ended
    auto second = request.takeChunks();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].samples, c);
    EXPECT_TRUE(request.takeChunks().empty());
    EXPECT_FALSE(request.nextChunk());
}

TEST(SpeechRequestTest, WaitingConsumerWakesForAudioAndForTheEnd) {
    SpeechAudioBufferRecognitionRequest request;
    std::vector<std::size_t> taken;
    std::thread consumer([&] {
        for (auto chunks = request.takeChunks(); !chunks.empty(); chunks = request.takeChunks())
            taken.push_back(chunks.size());
    });
    const std::vector<float> samples(160, 0.5f);
    for (int i = 0; i < 50; ++i) request.appendAudioBuffer(buffer(samples));
    request.endAudio();
    consumer.join();
    std::size_t total = 0;
    for (std::size_t count : taken) total += count;
    EXPECT_EQ(total, 50u);
}

}  // namespace
}  // namespace kelvane::platform
