#include "platform/linux/x11/tests/click_player.h"

#include <pulse/simple.h>
#include <time.h>

#include <stdexcept>
#include <vector>

namespace kelvane::platform::x11::testing {
namespace {

constexpr int rate = 48000;
constexpr int chunkFrames = rate / 400;  // 2.5 ms
constexpr int clickFrames = rate / 200;  // 5 ms

}  // namespace

std::int64_t monotonicNowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

ClickPlayer::ClickPlayer(const std::string& sink) : thread_(&ClickPlayer::play, this, sink) {}

ClickPlayer::~ClickPlayer() {
    running_ = false;
    thread_.join();
}

void ClickPlayer::play(const std::string& sink) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, rate, 2};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(20'000, &spec));
    attributes.prebuf = attributes.minreq = attributes.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "Kelvane click", PA_STREAM_PLAYBACK, sink.c_str(), "click", &spec,
                                      nullptr, &attributes, &error);
    if (!stream) return;
    std::vector<float> chunk(chunkFrames * 2);
    int clickLeft = 0;
    while (running_) {
        std::fill(chunk.begin(), chunk.end(), 0.0f);
        // Everything written so far plays before this chunk.
        const pa_usec_t latencyUs = pa_simple_get_latency(stream, &error);
        const std::int64_t chunkStartNs = monotonicNowNs() + static_cast<std::int64_t>(latencyUs) * 1000;
        const std::int64_t target = clickAt_.load();
        int from = 0;
        if (clickLeft == 0 && target > 0 && target < chunkStartNs + std::int64_t{chunkFrames} * 1'000'000'000 / rate) {
            from = std::max<std::int64_t>(0, (target - chunkStartNs) * rate / 1'000'000'000);
            clickLeft = clickFrames;
            clickAt_ = 0;
        }
        for (int frame = from; frame < chunkFrames && clickLeft > 0; ++frame, --clickLeft) {
            chunk[frame * 2] = chunk[frame * 2 + 1] = 0.8f;
        }
        if (pa_simple_write(stream, chunk.data(), chunk.size() * sizeof(float), &error) < 0) break;
    }
    pa_simple_free(stream);
}

}  // namespace kelvane::platform::x11::testing
