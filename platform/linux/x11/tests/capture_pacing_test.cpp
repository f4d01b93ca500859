#include "platform/linux/x11/capture_pacing.h"

#include <gtest/gtest.h>

namespace kelvane::platform::x11 {
namespace {

using namespace std::chrono_literals;

const PacingClock::time_point origin{1000s};

TEST(CaptureDeadlines, StayOnTheGridWhetherCapturesAreQuickOrOverrun) {
    // A quick capture: the very next grid point.
    EXPECT_EQ(nextCaptureDeadline(origin, origin + 3ms, 10ms), origin + 10ms);
    // Slow captures do not shift the grid: the deadline after the one that was missed.
    EXPECT_EQ(nextCaptureDeadline(origin, origin + 12ms, 10ms), origin + 20ms);
    EXPECT_EQ(nextCaptureDeadline(origin, origin + 35ms, 10ms), origin + 40ms);
    // Ending exactly on a grid point counts as missing it.
    EXPECT_EQ(nextCaptureDeadline(origin, origin + 20ms, 10ms), origin + 30ms);
}

TEST(CaptureDeadlines, AFrameIntervalOfZeroCapturesAtOnce) {
    EXPECT_EQ(nextCaptureDeadline(origin, origin + 5ms, 0ms), origin + 5ms);
}

}  // namespace
}  // namespace kelvane::platform::x11
