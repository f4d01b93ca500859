#include "platform/linux/pulse/audio_clock_smoothing.h"

namespace kelvane::platform::pulse {

std::int64_t AudioClockSmoothing::stamp(std::int64_t measuredNs, std::int64_t durationNs) {
    std::int64_t stamp = measuredNs;
    if (expectedNs_) {
        const std::int64_t difference = measuredNs - *expectedNs_;
        if (difference <= toleranceNs_ && difference >= -toleranceNs_) stamp = *expectedNs_ + difference / followDivisor_;
    }
    expectedNs_ = stamp + durationNs;
    return stamp;
}

}  // namespace kelvane::platform::pulse
