#pragma once
// Records one PulseAudio source as 48000 Hz stereo float. Buffers of a fixed number of
// frames go to a callback on Pulse's own thread, each stamped with the CLOCK_MONOTONIC
// time its first sample was captured, or for a monitor heard, as the server's timing
// reports place it (see record_stream_clock.h).
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/pulse/record_stream_clock.h"

namespace kelvane::platform::pulse {

inline constexpr std::uint32_t captureSampleRate = 48000;
inline constexpr std::uint32_t captureChannels = 2;

struct PulseSourceInfo {
    std::string name;
    std::string description;
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    bool isMonitor = false;
};

struct PulseCaptureOptions {
    // A source name, "@DEFAULT_MONITOR@" for what the default sink plays, or empty for
    // the default source.
    std::string sourceName;
    std::string streamName = "Kelvane capture";
    // Frames per delivered buffer; 960 is 20 ms.
    std::uint32_t bufferFrames = 960;
};

// Interleaved samples, frames of `captureChannels` values.
using PulseBufferHandler = std::function<void(std::span<const float> samples, std::uint32_t frameCount,
                                              std::int64_t firstSampleMonotonicNs)>;

class PulseCapture {
public:
    explicit PulseCapture(PulseCaptureOptions options);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Connects to the server if not connected yet. The server's description of the
    // failure when it cannot be reached.
    std::optional<std::string> connect();

    // The chosen source as the server describes it; nothing when there is none (no
    // default source) or the server cannot be reached.
    std::optional<PulseSourceInfo> sourceInfo();

    // Starts recording into `handler`. The server's description of the failure when the
    // source cannot be opened.
    std::optional<std::string> start(PulseBufferHandler handler);

    // Stops recording; once it returns the handler is not running and will not run.
    void stop();

    // Frames per delivered buffer from the next start on.
    void setBufferFrames(std::uint32_t frames);

private:
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, std::size_t bytes, void* self);
    static void onTimingUpdate(pa_stream* stream, void* self);
    void readAvailable();
    // The time of the first unread sample, `waitingBytes` of sound being unread.
    std::int64_t stampOfFirstUnread(std::size_t waitingBytes) const;
    void deliverPending(std::int64_t firstSampleNs);
    std::string lastError() const;
    // Waits, with the main loop locked, until `operation` has completed, and releases it.
    void waitFor(pa_operation* operation);
    void stopLocked();

    PulseCaptureOptions options_;
    pa_threaded_mainloop* mainLoop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    PulseBufferHandler handler_;
    // Samples read but not yet delivered, fewer than one buffer's worth after each read.
    std::vector<float> pending_;
    RecordStreamClock clock_;
    // Whether this stream has asked for a timing report since its sound began to flow.
    bool askedForFlowingTiming_ = false;
};

}  // namespace kelvane::platform::pulse
