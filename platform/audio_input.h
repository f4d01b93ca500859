#pragma once
// Live audio from an input device: the device's format, a tap that receives every
// buffer on the audio thread, and start / stop of the flow.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/result.h"

namespace kelvane::platform {

struct AudioFormat {
    std::uint32_t channelCount = 0;
    double sampleRate = 0;
};

// One buffer of interleaved 32-bit float samples; valid only during the tap call.
struct AudioBuffer {
    AudioFormat format;
    std::span<const float> samples;  // frameCount * format.channelCount values
    std::uint32_t frameCount = 0;
    // CLOCK_MONOTONIC time of the first sample in nanoseconds.
    std::int64_t hostTimeNs = 0;
};

using AudioTapBlock = std::function<void(const AudioBuffer&)>;

class AudioEngine {
public:
    virtual ~AudioEngine() = default;

    // The format the input delivers on its one bus. Zero channels or a zero rate means
    // there is no usable input device.
    virtual AudioFormat inputFormat() = 0;

    // Buffers of about `bufferSize` frames in `format` go to `block` on the audio thread
    // while the engine runs. One tap at a time; a new one replaces the old.
    virtual void installTap(std::uint32_t bufferSize, AudioFormat format, AudioTapBlock block) = 0;
    virtual void removeTap() = 0;

    virtual void prepare() = 0;
    // Starts the flow, or gives the device's own description of what went wrong.
    virtual Result<void> start() = 0;
    // Stops the flow; no tap call is running or will run once this returns.
    virtual void stop() = 0;
};

// The default microphone of this platform.
std::unique_ptr<AudioEngine> makeAudioEngine();

}  // namespace kelvane::platform
