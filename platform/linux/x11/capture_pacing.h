#pragma once
// Capture deadlines on the monotonic clock: one capture per frame interval at fixed
// points start + n * interval, so the rate does not drift with the time each capture
// takes. A capture that overran skips the deadlines already past instead of bunching up.
#include <chrono>

namespace kelvane::platform::x11 {

using PacingClock = std::chrono::steady_clock;

// The first deadline after `now` in the series that `previous` belongs to.
PacingClock::time_point nextCaptureDeadline(PacingClock::time_point previous, PacingClock::time_point now,
                                            PacingClock::duration interval);

}  // namespace kelvane::platform::x11
