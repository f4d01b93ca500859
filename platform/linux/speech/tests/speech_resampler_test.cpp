#include "platform/linux/speech/speech_resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace kelvane::platform::speech {
namespace {

// `seconds` of a sine at `frequency` with amplitude 0.5; the second channel, if any, is
// `rightSign` times the first.
AudioChunk sine(double rate, std::uint32_t channels, double seconds, double frequency = 440, float rightSign = 1) {
    AudioChunk chunk{{channels, rate}, {}};
    const auto frames = static_cast<std::size_t>(rate * seconds);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto value = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * double(i) / rate));
        chunk.samples.push_back(value);
        for (std::uint32_t c = 1; c < channels; ++c) chunk.samples.push_back(rightSign * value);
    }
    return chunk;
}

double rms(const std::vector<std::int16_t>& samples, std::size_t skip) {
    double sum = 0;
    for (std::size_t i = skip; i < samples.size(); ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(samples.size() - skip));
}

TEST(SpeechResamplerTest, StereoAt48kBecomesMono16kOfTheSameDurationAndLoudness) {
    SpeechResampler resampler;
    std::vector<std::int16_t> out;
    // Ten buffers of 1024 frames, like the microphone tap delivers them.
    const AudioChunk whole = sine(48000, 2, 10 * 1024 / 48000.0);
    for (std::size_t b = 0; b < 10; ++b) {
        AudioChunk part{whole.format, {whole.samples.begin() + b * 2048, whole.samples.begin() + (b + 1) * 2048}};
        resampler.convert(part, out);
    }
    resampler.flush(out);
    EXPECT_NEAR(double(out.size()), 10 * 1024 / 3.0, 2);
    // A sine of amplitude 0.5 has an RMS of 0.5 / sqrt(2) of full scale, whichever way
    // the two equal channels are mixed down.
    EXPECT_NEAR(rms(out, 200), 0.5 / std::sqrt(2.0) * 32767, 0.06 * 32767);
}

TEST(SpeechResamplerTest, ChannelsInOppositePhaseCancel) {
    SpeechResampler resampler;
    std::vector<std::int16_t> out;
    resampler.convert(sine(48000, 2, 0.5, 440, -1), out);
    resampler.flush(out);
    ASSERT_GT(out.size(), 7000u);
    EXPECT_LT(rms(out, 0), 50);
}

TEST(SpeechResamplerTest, AFormatChangeKeepsTheAudioOfBothParts) {
    SpeechResampler resampler;
    std::vector<std::int16_t> out;
    resampler.convert(sine(44100, 1, 0.5), out);
    resampler.convert(sine(16000, 1, 0.25), out);
    resampler.convert(sine(96000, 6, 0.25), out);
    resampler.flush(out);
    EXPECT_NEAR(double(out.size()), 16000.0, 40);
}

TEST(SpeechResamplerTest, UnusableFormatsAddNothing) {
    SpeechResampler resampler;
    std::vector<std::int16_t> out;
    resampler.convert(AudioChunk{{0, 48000}, std::vector<float>(100, 0.5f)}, out);
    resampler.convert(AudioChunk{{1, 0}, std::vector<float>(100, 0.5f)}, out);
    resampler.convert(AudioChunk{{1, std::nan("")}, std::vector<float>(100, 0.5f)}, out);
    resampler.flush(out);
    EXPECT_TRUE(out.empty());
    // It still converts once a usable format arrives.
    resampler.convert(sine(16000, 1, 0.1), out);
    resampler.flush(out);
    EXPECT_NEAR(double(out.size()), 1600, 2);
}

}  // namespace
}  // namespace kelvane::platform::speech
