// The microphone as an audio engine: the default Pulse source, delivered as 48000 Hz
// stereo float whatever the device's own format is.
#include <algorithm>
#include <mutex>

#include "platform/audio_input.h"
#include "platform/linux/pulse/pulse_capture.h"

namespace kelvane::platform {

namespace {

// Pulse buffers between 10 and 20 ms, as close to the tap's wish as that allows.
constexpr std::uint32_t shortestBufferFrames = pulse::captureSampleRate / 100;
constexpr std::uint32_t longestBufferFrames = pulse::captureSampleRate / 50;

class PulseAudioEngine final : public AudioEngine {
public:
    AudioFormat inputFormat() override {
        // A server that cannot be reached is reported when starting, with its reason.
        if (capture_.connect()) return deliveredFormat();
        const auto source = capture_.sourceInfo();
        if (!source || source->channels == 0 || source->sampleRate == 0) return {};
        return deliveredFormat();
    }

    void installTap(std::uint32_t bufferSize, AudioFormat, AudioTapBlock block) override {
        capture_.setBufferFrames(std::clamp(bufferSize, shortestBufferFrames, longestBufferFrames));
        std::lock_guard lock(tapMutex_);
        tap_ = std::move(block);
    }

    void removeTap() override {
        std::lock_guard lock(tapMutex_);
        tap_ = nullptr;
    }

    void prepare() override {}

    Result<void> start() override {
        const auto failure =
            capture_.start([this](std::span<const float> samples, std::uint32_t frames, std::int64_t timeNs) {
                std::lock_guard lock(tapMutex_);
                if (tap_) tap_(AudioBuffer{deliveredFormat(), samples, frames, timeNs});
            });
        if (failure) return Error{*failure};
        return {};
    }

    void stop() override { capture_.stop(); }

private:
    static AudioFormat deliveredFormat() { return {pulse::captureChannels, double{pulse::captureSampleRate}}; }

    pulse::PulseCapture capture_{pulse::PulseCaptureOptions{"", "Kelvane microphone", longestBufferFrames}};
    std::mutex tapMutex_;
    AudioTapBlock tap_;
};

}  // namespace

std::unique_ptr<AudioEngine> makeAudioEngine() { return std::make_unique<PulseAudioEngine>(); }

}  // namespace kelvane::platform
