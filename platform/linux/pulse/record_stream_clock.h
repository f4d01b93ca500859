#pragma once
// When each sample of a Pulse record stream was heard (a monitor) or captured (any other
// source), in CLOCK_MONOTONIC nanoseconds, from the timing reports the server sends.
//
// A report says: when the server took it, how many bytes it had written into the stream,
// how long the newest of them had already waited in the source, and, for a monitor, how
// long the sink will still hold that sound before it is heard (a sink renders ahead of
// playback, and its monitor gets the sound as it is rendered). Sample positions follow
// from there at the stream's byte rate, so one report stamps every later read, whatever
// the reads' own scheduling jitter.
//
// Two things make the library's own latency figure unusable for this, and are avoided
// here: it clamps a monitor's time at zero while the sink holds more than has been
// written (always so at the start, when an idle sink has rendered far ahead), and the
// interpolation built on that first report then takes over a second to recover.
#include <cstdint>
#include <optional>

namespace kelvane::platform::pulse {

struct ServerTiming {
    std::int64_t takenAtNs = 0;        // CLOCK_MONOTONIC when the server took the report
    std::int64_t writeIndexBytes = 0;  // bytes the server had written into the stream
    std::int64_t sourceLatencyNs = 0;  // how long ago the newest written byte was captured
    std::int64_t sinkLatencyNs = 0;    // monitors: how long until the newest written byte is heard
};

class RecordStreamClock {
public:
    explicit RecordStreamClock(std::int64_t bytesPerSecond);

    // Takes a new report. One taken before the server had written anything is ignored:
    // until sound flows, a monitor's sink latency describes sound rendered before the
    // stream was connected, not the stream's.
    void report(const ServerTiming& timing);

    // Forgets every report (a new stream).
    void reset() { timing_.reset(); }

    // The time of the byte at stream position `readIndexBytes`; nothing before a usable report.
    std::optional<std::int64_t> timeOf(std::int64_t readIndexBytes) const;

    // Without a report: the first of `waitingBytes` unread bytes, taking the newest of them
    // as heard at `nowNs`. Early by however far the sink renders ahead.
    std::int64_t timeFromWaitingSound(std::int64_t nowNs, std::int64_t waitingBytes) const;

private:
    std::int64_t bytesToNs(std::int64_t bytes) const;

    std::int64_t bytesPerSecond_;
    std::optional<ServerTiming> timing_;
};

}  // namespace kelvane::platform::pulse
