#include "platform/linux/x11/capture_pacing.h"

#include <gtest/gtest.h>

namespace kelvane::platform::x11 {
namespace {

using namespace std::chrono_literals;

const PacingClock::time_point origin{1000s};

TEST(CapturePacing, CapturesThatWakeLateDoNotPushTheLaterOnesBack) {
    CapturePacing pacing(16ms, origin);
    EXPECT_EQ(pacing.notBefore(), origin) << "the first change is taken at once";
    pacing.captured(origin + 3ms);
    EXPECT_EQ(pacing.notBefore(), origin + 16ms);
    EXPECT_EQ(pacing.tickEnd(), origin + 32ms);
    pacing.captured(origin + 19ms);
    EXPECT_EQ(pacing.notBefore(), origin + 32ms);
    // Sixty captures each waking 3 ms late still fit into sixty intervals.
    for (int i = 2; i < 62; ++i) pacing.captured(pacing.notBefore() + 3ms);
    EXPECT_EQ(pacing.notBefore(), origin + 62 * 16ms);
}

TEST(CapturePacing, ChangesAreAtLeastHalfAnIntervalApart) {
    CapturePacing pacing(16ms, origin);
    pacing.captured(origin);
    // The change came late in its interval: the next is not taken 2 ms after it.
    pacing.captured(origin + 30ms);
    EXPECT_EQ(pacing.notBefore(), origin + 38ms);
}

TEST(CapturePacing, QuietTicksDoNotHoldBackTheNextChange) {
    CapturePacing pacing(16ms, origin);
    pacing.captured(origin);
    // Nothing changed until the tick ended: the next tick runs one interval on, and a
    // change seen in it is taken at once.
    pacing.ticked(pacing.tickEnd());
    EXPECT_EQ(pacing.notBefore(), origin + 32ms);
    EXPECT_EQ(pacing.tickEnd(), origin + 48ms);
}

}  // namespace
}  // namespace kelvane::platform::x11
