#pragma once
// One Pulse source as the capture stream's audio: 48000 Hz stereo float buffers of 10 ms,
// each a sample buffer stamped in host-clock nanoseconds with its first sample's time,
// kept continuous from buffer to buffer.
#include <functional>
#include <optional>
#include <string>

#include "platform/linux/pulse/pulse_capture.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::pulse {

// What the default sink plays.
inline constexpr const char* defaultMonitorSource = "@DEFAULT_MONITOR@";

class PulseSampleSource {
public:
    // `sourceName` empty: the default source.
    explicit PulseSampleSource(std::string sourceName);

    // The server's description of the failure when the source cannot be opened.
    // `deliver` runs on Pulse's thread.
    std::optional<std::string> start(std::function<void(SampleBuffer)> deliver);
    // Once it returns `deliver` is not running and will not run again.
    void stop();

private:
    PulseCapture capture_;
};

// The sample buffer for `frameCount` interleaved stereo frames first heard at `firstSampleNs`.
SampleBuffer makeAudioSampleBuffer(std::span<const float> samples, std::uint32_t frameCount,
                                   std::int64_t firstSampleNs);

}  // namespace kelvane::platform::pulse
