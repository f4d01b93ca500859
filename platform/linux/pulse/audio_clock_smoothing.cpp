#include "platform/linux/pulse/audio_clock_smoothing.h"

namespace kelvane::platform::pulse {

std::int64_t AudioClockSmoothing::stamp(std::int64_t measuredNs, std::int64_t durationNs) {
    std::int64_t stamp = measuredNs;
    if (expectedNs_) {
        const std::int64_t drift = measuredNs - *expectedNs_;
        if (drift <= toleranceNs_ && drift >= -toleranceNs_) stamp = *expectedNs_;
    }
    expectedNs_ = stamp + durationNs;
    return stamp;
}

}  // namespace kelvane::platform::pulse
