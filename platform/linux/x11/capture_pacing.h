#pragma once
// When the capture looks at the screen. A change is taken as soon as it is seen once the
// next point of a grid one frame interval apart has come: frames then follow the
// application's own drawing, instead of a fixed grid that a 60 Hz animation slides
// across, where two drawings fall into one grid interval and one is lost while the next
// interval has none. The grid moves one interval per capture, not one interval from each
// capture: a capture that wakes a little late (the machine is busy) does not delay every
// later one, which would lose a frame every few. Captures are at least half an interval
// apart. While nothing changes, the stream still ticks once per interval (for idle
// frames and the periodic complete frame), and the grid starts afresh after it.
#include <algorithm>
#include <chrono>

namespace kelvane::platform::x11 {

using PacingClock = std::chrono::steady_clock;

class CapturePacing {
public:
    CapturePacing(PacingClock::duration interval, PacingClock::time_point start)
        : interval_(interval), notBefore_(start) {}

    // The earliest time of the next capture.
    PacingClock::time_point notBefore() const { return notBefore_; }
    // How long to wait for a change after that: the end of the current tick.
    PacingClock::time_point tickEnd() const { return notBefore_ + interval_; }

    // A capture of a change began at `when`.
    void captured(PacingClock::time_point when) { notBefore_ = std::max(notBefore_ + interval_, when + interval_ / 2); }
    // A tick ended at `when` without a change: a change seen after it is taken at once.
    void ticked(PacingClock::time_point when) { notBefore_ = when; }

private:
    PacingClock::duration interval_;
    PacingClock::time_point notBefore_;
};

}  // namespace kelvane::platform::x11
