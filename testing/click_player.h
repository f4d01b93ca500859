#pragma once
// Plays silence into a Pulse sink without a break and, on request, a short click in place
// of some of that silence, noting when the sink plays it: the sound half of the timing
// and A/V sync checks. When the sink plays a byte follows from the server's latest timing
// report: the byte the sink had taken at the report is heard the sink's latency later,
// and the next one written after everything queued between them. A stream that never
// stops keeps the sink's timing steady, unlike one short player per click.
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::testing {

class ClickPlayer {
public:
    ClickPlayer() = default;
    ~ClickPlayer();
    ClickPlayer(const ClickPlayer&) = delete;
    ClickPlayer& operator=(const ClickPlayer&) = delete;

    // The server's description of the failure when the sink cannot be played into.
    std::optional<std::string> start(const std::string& sink);
    // A click in place of the next silence written.
    void click();
    // A click the sink starts playing at `monotonicNs` (CLOCK_MONOTONIC), or as soon as
    // it can when that time has passed.
    void clickAt(std::int64_t monotonicNs);
    // CLOCK_MONOTONIC times at which the sink plays each click's first sample.
    std::vector<std::int64_t> clickTimes();

private:
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void onTimingUpdate(pa_stream* stream, void* self);
    // When the sink plays the next byte written; nothing before a report of the stream playing.
    std::optional<std::int64_t> nextWrittenByteTime() const;
    void requestClick(std::int64_t monotonicNs);

    pa_threaded_mainloop* mainLoop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    // When the click asked for should play; 0 for as soon as possible.
    std::optional<std::int64_t> clickWantedAt_;
    // A click longer than one write goes on in the next: whether one is under way and
    // how many of its frames are written.
    bool clicking_ = false;
    std::size_t clickFramesPlayed_ = 0;
    // CLOCK_MONOTONIC time of the latest timing report.
    std::optional<std::int64_t> reportTakenAtNs_;
    std::mutex timesMutex_;
    std::vector<std::int64_t> clickTimes_;
};

}  // namespace kelvane::testing
