#pragma once
// Plays silence into a sink without a break and, on request, a short click in place of
// the next silence, noting when the sink will play it. That follows from the server's
// latest timing report: the byte the sink had taken at the report is heard the sink's
// latency later, and the click's first byte after everything queued between them. A
// stream that never stops keeps the sink's timing steady, unlike one short player per
// click.
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::platform::pulse {

class SteadyClickPlayer {
public:
    SteadyClickPlayer() = default;
    ~SteadyClickPlayer();
    SteadyClickPlayer(const SteadyClickPlayer&) = delete;
    SteadyClickPlayer& operator=(const SteadyClickPlayer&) = delete;

    // The server's description of the failure when the sink cannot be played into.
    std::optional<std::string> start(const std::string& sink);
    void click();
    // CLOCK_MONOTONIC times at which the sink plays each click's first sample.
    std::vector<std::int64_t> clickTimes();

private:
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void onTimingUpdate(pa_stream* stream, void* self);
    // When the sink plays the next byte written; nothing before a report of the stream playing.
    std::optional<std::int64_t> nextWrittenByteTime() const;

    pa_threaded_mainloop* mainLoop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool clickWanted_ = false;
    // CLOCK_MONOTONIC time of the latest timing report.
    std::optional<std::int64_t> reportTakenAtNs_;
    std::mutex timesMutex_;
    std::vector<std::int64_t> clickTimes_;
};

}  // namespace kelvane::platform::pulse
