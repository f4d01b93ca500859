#pragma once
// Keeps a capture's time stamps continuous. Measured stamps of successive buffers jitter
// by a few milliseconds (they depend on when each block happens to arrive), and a writer
// that places sound by its stamps would then cut or pad it at every buffer. While the
// measurement stays within the tolerance of where the previous buffer ended, a buffer
// is stamped exactly there; beyond it (a dropout, a clock jump) the measurement wins.
#include <cstdint>
#include <optional>

namespace kelvane::platform::pulse {

class AudioClockSmoothing {
public:
    explicit AudioClockSmoothing(std::int64_t toleranceNs = 10'000'000) : toleranceNs_(toleranceNs) {}

    // The stamp for a buffer of `durationNs` measured at `measuredNs`.
    std::int64_t stamp(std::int64_t measuredNs, std::int64_t durationNs);

private:
    std::int64_t toleranceNs_;
    std::optional<std::int64_t> expectedNs_;
};

}  // namespace kelvane::platform::pulse
