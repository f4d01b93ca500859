#include "platform/linux/pulse/audio_clock_smoothing.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kelvane::platform::pulse {
namespace {

constexpr std::int64_t ms = 1'000'000;
constexpr std::int64_t buffer = 10 * ms;

TEST(AudioClockSmoothing, JitterWithinTheToleranceKeepsBuffersNearlyContiguousAndOnTime) {
    AudioClockSmoothing clock(10 * ms);
    // Arrivals scattered up to 4 ms either way around a steady 10 ms cadence.
    const std::int64_t jitter[] = {0, 4, -3, 2, -4, 1, 3, -2, 4, -1, 0, -4, 2, 3, -3};
    std::int64_t previousEnd = 0;
    for (int i = 0; i < 300; ++i) {
        const std::int64_t nominal = 1000 * ms + i * buffer;
        const std::int64_t stamp = clock.stamp(nominal + jitter[i % 15] * ms, buffer);
        if (i > 0) {
            // Never a gap or overlap larger than an eighth of the tolerance.
            EXPECT_LE(std::llabs(stamp - previousEnd), 10 * ms / 8) << i;
        }
        // The timeline stays with the true cadence rather than wandering off.
        EXPECT_LE(std::llabs(stamp - nominal), 4 * ms) << i;
        previousEnd = stamp + buffer;
    }
}

TEST(AudioClockSmoothing, FollowsASoundCardThatRunsFastAgainstTheHostClock) {
    AudioClockSmoothing clock(10 * ms);
    // 150 parts per million fast: each 10 ms of sound takes 9.9985 ms of host time, so
    // after a minute the sound's own count is 9 ms ahead of the host clock.
    const std::int64_t hostPerBuffer = buffer - 1500;
    std::int64_t stamp = 0;
    std::int64_t previousEnd = 0;
    for (int i = 0; i < 6000; ++i) {
        stamp = clock.stamp(1000 * ms + i * hostPerBuffer, buffer);
        if (i > 0) {
            EXPECT_LE(std::llabs(stamp - previousEnd), ms / 50) << i;
        }
        previousEnd = stamp + buffer;
    }
    EXPECT_LE(std::llabs(stamp - (1000 * ms + 5999 * hostPerBuffer)), ms / 10);
}

TEST(AudioClockSmoothing, AnEarlyMeasurementErrorFadesInSmallSteps) {
    AudioClockSmoothing clock(10 * ms);
    // The first buffer is measured 9 ms early, every later one right.
    std::int64_t stamp = clock.stamp(1000 * ms - 9 * ms, buffer);
    std::int64_t previousEnd = stamp + buffer;
    for (int i = 1; i < 60; ++i) {
        stamp = clock.stamp(1000 * ms + i * buffer, buffer);
        EXPECT_LE(stamp - previousEnd, 9 * ms / 8) << i;
        EXPECT_GE(stamp, previousEnd) << "moving later never overlaps the previous buffer";
        previousEnd = stamp + buffer;
    }
    EXPECT_LE(std::llabs(stamp - (1000 * ms + 59 * buffer)), ms / 10);
}

TEST(AudioClockSmoothing, ADropoutOrAJumpBackFollowsTheMeasurement) {
    AudioClockSmoothing clock(20 * ms);
    clock.stamp(1000 * ms, 10 * ms);
    // 200 ms of sound lost: the gap stays a gap rather than shifting all later sound.
    EXPECT_EQ(clock.stamp(1210 * ms, 10 * ms), 1210 * ms);
    EXPECT_EQ(clock.stamp(1220 * ms, 10 * ms), 1220 * ms);
    // The measurement falls well behind the timeline: it is believed.
    EXPECT_EQ(clock.stamp(1190 * ms, 10 * ms), 1190 * ms);
    EXPECT_EQ(clock.stamp(1200 * ms, 10 * ms), 1200 * ms);
}

}  // namespace
}  // namespace kelvane::platform::pulse
