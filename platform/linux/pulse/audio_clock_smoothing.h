#pragma once
// Keeps a capture's time stamps continuous while they follow the measured clock. A writer
// that places sound by its stamps would cut or pad it wherever successive stamps leave
// a gap or an overlap, so each buffer starts where the previous one ended, moved by only
// a fraction of the difference from its measured time. The stamps thereby follow a sound
// card running slightly fast or slow against the host clock, and a small error in an early
// measurement fades out instead of staying for the whole recording. A difference beyond
// the tolerance (a dropout, a clock jump) is taken as it is.
#include <cstdint>
#include <optional>

namespace kelvane::platform::pulse {

class AudioClockSmoothing {
public:
    explicit AudioClockSmoothing(std::int64_t toleranceNs = 10'000'000, std::int64_t followDivisor = 8)
        : toleranceNs_(toleranceNs), followDivisor_(followDivisor < 1 ? 1 : followDivisor) {}

    // The stamp for a buffer of `durationNs` measured at `measuredNs`.
    std::int64_t stamp(std::int64_t measuredNs, std::int64_t durationNs);

private:
    std::int64_t toleranceNs_;
    // Each buffer moves 1/followDivisor of the way towards its measurement.
    std::int64_t followDivisor_;
    std::optional<std::int64_t> expectedNs_;
};

}  // namespace kelvane::platform::pulse
