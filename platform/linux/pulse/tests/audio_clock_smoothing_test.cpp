#include "platform/linux/pulse/audio_clock_smoothing.h"

#include <gtest/gtest.h>

namespace kelvane::platform::pulse {
namespace {

constexpr std::int64_t ms = 1'000'000;

TEST(AudioClockSmoothing, JitterWithinTheToleranceGivesAContinuousTimeline) {
    AudioClockSmoothing clock(20 * ms);
    EXPECT_EQ(clock.stamp(1000 * ms, 10 * ms), 1000 * ms);
    // Arrivals a little late or early: each buffer starts where the previous one ended.
    EXPECT_EQ(clock.stamp(1013 * ms, 10 * ms), 1010 * ms);
    EXPECT_EQ(clock.stamp(1015 * ms, 10 * ms), 1020 * ms);
    EXPECT_EQ(clock.stamp(1049 * ms, 10 * ms), 1030 * ms);
}

TEST(AudioClockSmoothing, ADropoutOrAJumpBackFollowsTheMeasurement) {
    AudioClockSmoothing clock(20 * ms);
    clock.stamp(1000 * ms, 10 * ms);
    // 200 ms of sound lost: the gap stays a gap rather than shifting all later sound.
    EXPECT_EQ(clock.stamp(1210 * ms, 10 * ms), 1210 * ms);
    EXPECT_EQ(clock.stamp(1221 * ms, 10 * ms), 1220 * ms);
    // The measurement falls well behind the timeline: it is believed.
    EXPECT_EQ(clock.stamp(1190 * ms, 10 * ms), 1190 * ms);
    EXPECT_EQ(clock.stamp(1200 * ms, 10 * ms), 1200 * ms);
}

}  // namespace
}  // namespace kelvane::platform::pulse
