#pragma once
// An audio engine for tests: a chosen input format and start error, a record of the calls
// made, and buffers pushed through the installed tap by the test.
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_input.h"

namespace kelvane::testing {

class FakeAudioEngine : public platform::AudioEngine {
public:
    platform::AudioFormat format{1, 48000};
    std::optional<std::string> startError;

    // Every call in order: "inputFormat", "installTap", "removeTap", "prepare", "start", "stop".
    std::vector<std::string> calls;
    std::uint32_t tapBufferSize = 0;
    platform::AudioFormat tapFormat;

    platform::AudioFormat inputFormat() override {
        calls.push_back("inputFormat");
        return format;
    }
    void installTap(std::uint32_t bufferSize, platform::AudioFormat tapFormatWanted,
                    platform::AudioTapBlock block) override {
        calls.push_back("installTap");
        tapBufferSize = bufferSize;
        tapFormat = tapFormatWanted;
        tap_ = std::move(block);
    }
    void removeTap() override {
        calls.push_back("removeTap");
        tap_ = nullptr;
    }
    void prepare() override { calls.push_back("prepare"); }
    platform::Result<void> start() override {
        calls.push_back("start");
        if (startError) return platform::Error{*startError};
        return {};
    }
    void stop() override { calls.push_back("stop"); }

    bool hasTap() const { return static_cast<bool>(tap_); }
    // Sends `frameCount` frames of the value through the tap, if one is installed.
    void pushBuffer(std::uint32_t frameCount, float value = 0.25f) {
        if (!tap_) return;
        std::vector<float> samples(std::size_t{frameCount} * format.channelCount, value);
        tap_(platform::AudioBuffer{format, samples, frameCount, 0});
    }

private:
    platform::AudioTapBlock tap_;
};

}  // namespace kelvane::testing
