#pragma once
// Turns microphone buffers of any rate and channel count into the 16 kHz mono 16-bit
// samples the decoder needs.
#include <cstdint>
#include <vector>

#include "platform/speech.h"

extern "C" {
struct SwrContext;
}

namespace kelvane::platform::speech {

inline constexpr int decoderSampleRate = 16000;

class SpeechResampler {
public:
    SpeechResampler() = default;
    ~SpeechResampler();
    SpeechResampler(const SpeechResampler&) = delete;
    SpeechResampler& operator=(const SpeechResampler&) = delete;

    // Appends the converted samples of `chunk` to `out`. A chunk in a new format starts
    // a new conversion (after flushing the old one). Chunks that cannot be converted
    // (no channels, no rate) add nothing.
    void convert(const AudioChunk& chunk, std::vector<std::int16_t>& out);
    // Appends what the filter still holds at the end of the audio.
    void flush(std::vector<std::int16_t>& out);

private:
    bool configure(const AudioFormat& format);
    void run(const std::uint8_t** input, int frames, std::vector<std::int16_t>& out);

    SwrContext* context_ = nullptr;
    AudioFormat format_;
};

}  // namespace kelvane::platform::speech
