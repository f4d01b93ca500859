#include "platform/linux/x11/capture_pacing.h"

namespace kelvane::platform::x11 {

PacingClock::time_point nextCaptureDeadline(PacingClock::time_point previous, PacingClock::time_point now,
                                            PacingClock::duration interval) {
    if (interval <= PacingClock::duration::zero()) return now;
    const PacingClock::time_point next = previous + interval;
    if (next > now) return next;
    const auto missed = (now - next) / interval + 1;
    return next + missed * interval;
}

}  // namespace kelvane::platform::x11
