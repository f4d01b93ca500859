#include "testing/click_player.h"

#include <time.h>

#include <algorithm>

#include "platform/host_clock.h"

namespace kelvane::testing {

namespace {

constexpr std::uint32_t sampleRate = 48000;
constexpr std::uint32_t bytesPerFrame = 2 * sizeof(std::int16_t);
// 20 ms of a 1 kHz square wave at nearly full scale.
constexpr std::size_t clickFrames = 960;

std::int64_t realtimeNowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int16_t clickLevel(std::size_t frame) { return (frame / 24) % 2 ? 29000 : -29000; }

}  // namespace

ClickPlayer::~ClickPlayer() {
    if (!mainLoop_) return;
    pa_threaded_mainloop_lock(mainLoop_);
    if (stream_) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_unlock(mainLoop_);
    pa_threaded_mainloop_stop(mainLoop_);
    pa_threaded_mainloop_free(mainLoop_);
}

void ClickPlayer::onContextState(pa_context*, void* self) {
    pa_threaded_mainloop_signal(static_cast<ClickPlayer*>(self)->mainLoop_, 0);
}

void ClickPlayer::onStreamState(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<ClickPlayer*>(self)->mainLoop_, 0);
}

void ClickPlayer::onTimingUpdate(pa_stream* stream, void* self) {
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (!info) return;
    const std::int64_t reportRealtimeNs =
        static_cast<std::int64_t>(info->timestamp.tv_sec) * 1'000'000'000 + std::int64_t{info->timestamp.tv_usec} * 1000;
    static_cast<ClickPlayer*>(self)->reportTakenAtNs_ =
        platform::monotonicNanoseconds() - (realtimeNowNs() - reportRealtimeNs);
}

std::optional<std::int64_t> ClickPlayer::nextWrittenByteTime() const {
    const pa_timing_info* info = pa_stream_get_timing_info(stream_);
    // Before the sink has taken anything of this stream, its latency describes sound
    // rendered for nobody.
    if (!info || !reportTakenAtNs_ || info->read_index <= 0 || info->read_index_corrupt || info->write_index_corrupt) {
        return std::nullopt;
    }
    const std::int64_t queuedBytes = info->write_index - info->read_index;
    const std::int64_t bytesPerSecond = std::int64_t{sampleRate} * bytesPerFrame;
    return *reportTakenAtNs_ + static_cast<std::int64_t>(info->sink_usec) * 1000 +
           queuedBytes * 1'000'000'000 / bytesPerSecond;
}

void ClickPlayer::onWritable(pa_stream* stream, std::size_t bytes, void* self) {
    auto* player = static_cast<ClickPlayer*>(self);
    const std::size_t frames = bytes / bytesPerFrame;
    std::vector<std::int16_t> samples(frames * 2, 0);
    std::size_t from = 0;
    if (!player->clicking_ && player->clickWantedAt_) {
        if (const auto playsAt = player->nextWrittenByteTime()) {
            const std::int64_t wait = std::max<std::int64_t>(0, *player->clickWantedAt_ - *playsAt);
            from = static_cast<std::size_t>(wait * sampleRate / 1'000'000'000);
            if (from < frames) {
                player->clickWantedAt_.reset();
                player->clicking_ = true;
                player->clickFramesPlayed_ = 0;
                std::lock_guard lock(player->timesMutex_);
                player->clickTimes_.push_back(*playsAt + static_cast<std::int64_t>(from) * 1'000'000'000 / sampleRate);
            }
        }
    }
    // A click longer than one write goes on in the next.
    for (std::size_t frame = from; player->clicking_ && frame < frames; ++frame) {
        samples[frame * 2] = samples[frame * 2 + 1] = clickLevel(player->clickFramesPlayed_);
        player->clicking_ = ++player->clickFramesPlayed_ < clickFrames;
    }
    pa_stream_write(stream, samples.data(), samples.size() * sizeof(std::int16_t), nullptr, 0, PA_SEEK_RELATIVE);
}

std::optional<std::string> ClickPlayer::start(const std::string& sink) {
    mainLoop_ = pa_threaded_mainloop_new();
    pa_threaded_mainloop_start(mainLoop_);
    pa_threaded_mainloop_lock(mainLoop_);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainLoop_), "Kelvane test clicks");
    pa_context_set_state_callback(context_, &ClickPlayer::onContextState, this);
    pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (pa_context_get_state(context_) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            std::string error = pa_strerror(pa_context_errno(context_));
            pa_threaded_mainloop_unlock(mainLoop_);
            return error;
        }
        pa_threaded_mainloop_wait(mainLoop_);
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, sampleRate, 2};
    stream_ = pa_stream_new(context_, "clicks", &spec, nullptr);
    pa_stream_set_state_callback(stream_, &ClickPlayer::onStreamState, this);
    pa_stream_set_write_callback(stream_, &ClickPlayer::onWritable, this);
    pa_stream_set_latency_update_callback(stream_, &ClickPlayer::onTimingUpdate, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = attributes.prebuf = attributes.fragsize = static_cast<std::uint32_t>(-1);
    attributes.tlength = sampleRate * bytesPerFrame * 30 / 1000;
    attributes.minreq = sampleRate * bytesPerFrame * 5 / 1000;
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
    pa_stream_connect_playback(stream_, sink.c_str(), &attributes, flags, nullptr, nullptr);
    while (pa_stream_get_state(stream_) != PA_STREAM_READY) {
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
            std::string error = pa_strerror(pa_context_errno(context_));
            pa_threaded_mainloop_unlock(mainLoop_);
            return error;
        }
        pa_threaded_mainloop_wait(mainLoop_);
    }
    pa_threaded_mainloop_unlock(mainLoop_);
    return std::nullopt;
}

void ClickPlayer::click() { requestClick(0); }

void ClickPlayer::clickAt(std::int64_t monotonicNs) { requestClick(monotonicNs); }

void ClickPlayer::requestClick(std::int64_t monotonicNs) {
    pa_threaded_mainloop_lock(mainLoop_);
    clickWantedAt_ = monotonicNs;
    pa_threaded_mainloop_unlock(mainLoop_);
}

std::vector<std::int64_t> ClickPlayer::clickTimes() {
    std::lock_guard lock(timesMutex_);
    return clickTimes_;
}

}  // namespace kelvane::testing
