#include "platform/linux/pulse/pulse_sample_source.h"

#include <utility>

#include "platform/linux/pulse/audio_clock_smoothing.h"

namespace kelvane::platform::pulse {

namespace {
constexpr std::uint32_t tenMillisecondsOfFrames = captureSampleRate / 100;
constexpr std::int32_t nanosecondTimescale = 1'000'000'000;
}  // namespace

PulseSampleSource::PulseSampleSource(std::string sourceName)
    : capture_(PulseCaptureOptions{sourceName, "Kelvane recording", tenMillisecondsOfFrames}) {}

std::optional<std::string> PulseSampleSource::start(std::function<void(SampleBuffer)> deliver) {
    // A new smoothing per start: the stream begins afresh.
    return capture_.start([deliver = std::move(deliver), clock = AudioClockSmoothing()](
                              std::span<const float> samples, std::uint32_t frameCount,
                              std::int64_t firstSampleNs) mutable {
        const std::int64_t durationNs = std::int64_t{frameCount} * 1'000'000'000 / captureSampleRate;
        deliver(makeAudioSampleBuffer(samples, frameCount, clock.stamp(firstSampleNs, durationNs)));
    });
}

void PulseSampleSource::stop() { capture_.stop(); }

SampleBuffer makeAudioSampleBuffer(std::span<const float> samples, std::uint32_t frameCount,
                                   std::int64_t firstSampleNs) {
    AudioPcm pcm{static_cast<int>(captureSampleRate), static_cast<int>(captureChannels),
                 std::vector<float>(samples.begin(), samples.end())};
    SampleTiming timing;
    timing.duration = MediaTime::make(frameCount, static_cast<std::int32_t>(captureSampleRate));
    timing.presentationTimeStamp = MediaTime::make(firstSampleNs, nanosecondTimescale);
    return SampleBuffer::audio(std::move(pcm), timing);
}

}  // namespace kelvane::platform::pulse
