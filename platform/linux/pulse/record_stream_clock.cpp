#include "platform/linux/pulse/record_stream_clock.h"

#include <algorithm>

namespace kelvane::platform::pulse {

RecordStreamClock::RecordStreamClock(std::int64_t bytesPerSecond) : bytesPerSecond_(std::max<std::int64_t>(bytesPerSecond, 1)) {}

void RecordStreamClock::report(const ServerTiming& timing) {
    if (timing.writeIndexBytes <= 0) return;
    timing_ = timing;
}

std::optional<std::int64_t> RecordStreamClock::timeOf(std::int64_t readIndexBytes) const {
    if (!timing_) return std::nullopt;
    // The newest written byte was heard (or captured) at takenAt + sink - source; earlier
    // bytes are earlier by their distance from it. Signed throughout: a monitor's newest
    // byte is often still ahead of the report.
    const std::int64_t newestNs = timing_->takenAtNs + timing_->sinkLatencyNs - timing_->sourceLatencyNs;
    return newestNs - bytesToNs(timing_->writeIndexBytes - readIndexBytes);
}

std::int64_t RecordStreamClock::timeFromWaitingSound(std::int64_t nowNs, std::int64_t waitingBytes) const {
    return nowNs - bytesToNs(waitingBytes);
}

std::int64_t RecordStreamClock::bytesToNs(std::int64_t bytes) const {
    // Whole seconds apart first, so long recordings cannot overflow the product.
    const std::int64_t seconds = bytes / bytesPerSecond_;
    const std::int64_t rest = bytes % bytesPerSecond_;
    return seconds * 1'000'000'000 + rest * 1'000'000'000 / bytesPerSecond_;
}

}  // namespace kelvane::platform::pulse
