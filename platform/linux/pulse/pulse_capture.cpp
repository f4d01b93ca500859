#include "platform/linux/pulse/pulse_capture.h"

#include <time.h>

#include <algorithm>

#include "platform/host_clock.h"

namespace kelvane::platform::pulse {

namespace {

// Holds the threaded main loop's lock for one scope.
class MainLoopLock {
public:
    explicit MainLoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~MainLoopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainLoopLock(const MainLoopLock&) = delete;
    MainLoopLock& operator=(const MainLoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

constexpr std::int64_t framesToNs(std::size_t frames) {
    return static_cast<std::int64_t>(frames) * 1'000'000'000 / captureSampleRate;
}

constexpr std::int64_t bytesPerSecond = std::int64_t{captureSampleRate} * captureChannels * sizeof(float);

std::int64_t realtimeNowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int64_t usToNs(pa_usec_t us) { return static_cast<std::int64_t>(us) * 1000; }

}  // namespace

PulseCapture::PulseCapture(PulseCaptureOptions options) : options_(std::move(options)), clock_(bytesPerSecond) {
    options_.bufferFrames = std::max<std::uint32_t>(options_.bufferFrames, 1);
}

PulseCapture::~PulseCapture() {
    if (!mainLoop_) return;
    {
        MainLoopLock lock(mainLoop_);
        stopLocked();
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }
    pa_threaded_mainloop_stop(mainLoop_);
    pa_threaded_mainloop_free(mainLoop_);
}

std::string PulseCapture::lastError() const {
    return pa_strerror(context_ ? pa_context_errno(context_) : PA_ERR_INTERNAL);
}

void PulseCapture::onContextState(pa_context*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseCapture*>(self)->mainLoop_, 0);
}

void PulseCapture::onStreamState(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseCapture*>(self)->mainLoop_, 0);
}

void PulseCapture::onStreamRead(pa_stream*, std::size_t, void* self) {
    static_cast<PulseCapture*>(self)->readAvailable();
}

void PulseCapture::onTimingUpdate(pa_stream* stream, void* self) {
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (!info || info->write_index_corrupt) return;
    // The report's time is the server's wall clock; turned into the monotonic clock now,
    // the moment it arrives, so a later step of the wall clock cannot move it.
    const std::int64_t reportRealtimeNs =
        static_cast<std::int64_t>(info->timestamp.tv_sec) * 1'000'000'000 + std::int64_t{info->timestamp.tv_usec} * 1000;
    ServerTiming timing;
    timing.takenAtNs = monotonicNanoseconds() - (realtimeNowNs() - reportRealtimeNs);
    timing.writeIndexBytes = info->write_index;
    timing.sourceLatencyNs = usToNs(info->source_usec);
    timing.sinkLatencyNs = usToNs(info->sink_usec);
    static_cast<PulseCapture*>(self)->clock_.report(timing);
}

std::optional<std::string> PulseCapture::connect() {
    if (!mainLoop_) {
        mainLoop_ = pa_threaded_mainloop_new();
        if (!mainLoop_ || pa_threaded_mainloop_start(mainLoop_) < 0) return std::string(pa_strerror(PA_ERR_INTERNAL));
    }
    MainLoopLock lock(mainLoop_);
    if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) return std::nullopt;
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainLoop_), "Kelvane");
    if (!context_) return std::string(pa_strerror(PA_ERR_INTERNAL));
    pa_context_set_state_callback(context_, &PulseCapture::onContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return lastError();
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) return std::nullopt;
        if (!PA_CONTEXT_IS_GOOD(state)) return lastError();
        pa_threaded_mainloop_wait(mainLoop_);
    }
}

void PulseCapture::waitFor(pa_operation* operation) {
    if (!operation) return;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(mainLoop_);
    pa_operation_unref(operation);
}

std::optional<PulseSourceInfo> PulseCapture::sourceInfo() {
    if (connect()) return std::nullopt;
    MainLoopLock lock(mainLoop_);

    struct Query {
        PulseCapture* self;
        std::string defaultSource;
        std::optional<PulseSourceInfo> info;
    } query{this, {}, std::nullopt};

    std::string name = options_.sourceName;
    if (name.empty()) {
        waitFor(pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* server, void* data) {
                auto* q = static_cast<Query*>(data);
                if (server && server->default_source_name) q->defaultSource = server->default_source_name;
                pa_threaded_mainloop_signal(q->self->mainLoop_, 0);
            },
            &query));
        name = query.defaultSource;
        if (name.empty()) return std::nullopt;
    }
    waitFor(pa_context_get_source_info_by_name(
        context_, name.c_str(),
        [](pa_context*, const pa_source_info* source, int endOfList, void* data) {
            auto* q = static_cast<Query*>(data);
            if (!endOfList && source) {
                q->info = PulseSourceInfo{source->name ? source->name : "",
                                          source->description ? source->description : "",
                                          source->sample_spec.channels, source->sample_spec.rate,
                                          source->monitor_of_sink != PA_INVALID_INDEX};
            }
            pa_threaded_mainloop_signal(q->self->mainLoop_, 0);
        },
        &query));
    return query.info;
}

std::optional<std::string> PulseCapture::start(PulseBufferHandler handler) {
    if (auto error = connect()) return error;
    MainLoopLock lock(mainLoop_);
    stopLocked();

    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, captureSampleRate, captureChannels};
    stream_ = pa_stream_new(context_, options_.streamName.c_str(), &spec, nullptr);
    if (!stream_) return lastError();
    handler_ = std::move(handler);
    pending_.clear();
    clock_.reset();
    askedForFlowingTiming_ = false;
    pa_stream_set_state_callback(stream_, &PulseCapture::onStreamState, this);
    pa_stream_set_read_callback(stream_, &PulseCapture::onStreamRead, this);
    pa_stream_set_latency_update_callback(stream_, &PulseCapture::onTimingUpdate, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = attributes.prebuf = attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(options_.bufferFrames * pa_frame_size(&spec));
    // Timing reports come every second or so; the stamps are worked out from the latest
    // one directly, so the library's interpolation is not wanted.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
    const char* device = options_.sourceName.empty() ? nullptr : options_.sourceName.c_str();
    if (pa_stream_connect_record(stream_, device, &attributes, flags) < 0) {
        std::string error = lastError();
        stopLocked();
        return error;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY) return std::nullopt;
        if (!PA_STREAM_IS_GOOD(state)) {
            std::string error = lastError();
            stopLocked();
            return error;
        }
        pa_threaded_mainloop_wait(mainLoop_);
    }
}

void PulseCapture::setBufferFrames(std::uint32_t frames) {
    // Pulse's thread reads the size while it delivers.
    std::optional<MainLoopLock> lock;
    if (mainLoop_) lock.emplace(mainLoop_);
    options_.bufferFrames = std::max<std::uint32_t>(frames, 1);
}

void PulseCapture::stop() {
    if (!mainLoop_) return;
    MainLoopLock lock(mainLoop_);
    stopLocked();
}

void PulseCapture::stopLocked() {
    if (stream_) {
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    handler_ = nullptr;
    pending_.clear();
}

void PulseCapture::readAvailable() {
    while (stream_ && pa_stream_readable_size(stream_) > 0) {
        const std::size_t waitingBytes = pa_stream_readable_size(stream_);
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) return;
        if (!askedForFlowingTiming_) {
            // The report the stream got when it connected came before any sound flowed;
            // one now describes the flowing stream and replaces the guess below at once.
            askedForFlowingTiming_ = true;
            if (pa_operation* operation = pa_stream_update_timing_info(stream_, nullptr, nullptr)) {
                pa_operation_unref(operation);
            }
        }
        const std::int64_t firstNewSampleNs = stampOfFirstUnread(waitingBytes);

        const std::size_t pendingFrames = pending_.size() / captureChannels;
        const std::size_t sampleCount = bytes / sizeof(float);
        if (data) {
            const auto* samples = static_cast<const float*>(data);
            pending_.insert(pending_.end(), samples, samples + sampleCount);
        } else {
            // A hole in the stream: keep the timeline whole with silence.
            pending_.insert(pending_.end(), sampleCount, 0.0f);
        }
        pa_stream_drop(stream_);
        deliverPending(firstNewSampleNs - framesToNs(pendingFrames));
    }
}

std::int64_t PulseCapture::stampOfFirstUnread(std::size_t waitingBytes) const {
    const pa_timing_info* info = pa_stream_get_timing_info(stream_);
    if (info && !info->read_index_corrupt) {
        if (const auto stamp = clock_.timeOf(info->read_index)) return *stamp;
    }
    return clock_.timeFromWaitingSound(monotonicNanoseconds(), static_cast<std::int64_t>(waitingBytes));
}

void PulseCapture::deliverPending(std::int64_t firstSampleNs) {
    const std::size_t bufferSamples = std::size_t{options_.bufferFrames} * captureChannels;
    std::size_t offset = 0;
    while (pending_.size() - offset >= bufferSamples) {
        if (handler_) {
            handler_(std::span<const float>(pending_.data() + offset, bufferSamples), options_.bufferFrames,
                     firstSampleNs + framesToNs(offset / captureChannels));
        }
        offset += bufferSamples;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace kelvane::platform::pulse
