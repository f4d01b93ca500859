#include "platform/linux/ffmpeg/tests/synthetic_media.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <vector>

namespace kelvane::platform::ffmpeg::testing {

SampleBuffer videoSample(int width, int height, int index, MediaTime time, MediaTime duration) {
    VideoFrame frame;
    frame.width = width;
    frame.height = height;
    frame.stride = width * 4;
    frame.pixels.resize(static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(height));
    const int bar = (index * 7) % width;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = &frame.pixels[static_cast<std::size_t>(y * frame.stride + x * 4)];
            const bool onBar = x >= bar && x < bar + 8;
            pixel[0] = onBar ? 255 : static_cast<std::uint8_t>(x * 255 / width);
            pixel[1] = onBar ? 255 : static_cast<std::uint8_t>(y * 255 / height);
            pixel[2] = onBar ? 255 : static_cast<std::uint8_t>((index * 3) & 0xff);
            pixel[3] = 255;
        }
    }
    return SampleBuffer::video(std::move(frame), SampleTiming{duration, time, MediaTime::invalid()});
}

SampleBuffer audioSample(MediaTime time, int frames, const std::function<float(int)>& wave) {
    AudioPcm pcm;
    pcm.sampleRate = 48000;
    pcm.channels = 2;
    pcm.samples.resize(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const float value = wave(i);
        pcm.samples[static_cast<std::size_t>(i) * 2] = value;
        pcm.samples[static_cast<std::size_t>(i) * 2 + 1] = value;
    }
    return SampleBuffer::audio(std::move(pcm), SampleTiming{MediaTime::make(frames, 48000), time, MediaTime::invalid()});
}

SampleBuffer toneSample(MediaTime time, int frames, std::int64_t firstSample) {
    return audioSample(time, frames, [firstSample](int i) {
        return 0.2f * static_cast<float>(std::sin(2.0 * M_PI * 440.0 * static_cast<double>(firstSample + i) / 48000.0));
    });
}

std::optional<Result<void>> finishAndWait(MediaWriter& writer) {
    auto done = std::make_shared<std::promise<Result<void>>>();
    auto finished = done->get_future();
    writer.finishWriting([done](Result<void> outcome) { done->set_value(std::move(outcome)); });
    if (finished.wait_for(std::chrono::minutes(1)) != std::future_status::ready) return std::nullopt;
    return finished.get();
}

ScratchFolder::ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kelvane-writer-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
    path_ = name.data();
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace kelvane::platform::ffmpeg::testing
