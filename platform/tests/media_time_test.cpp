#include "platform/media_time.h"

#include <gtest/gtest.h>

#include <limits>

namespace kelvane::platform {
namespace {

MediaTime ns(std::int64_t value) { return MediaTime::make(value, 1'000'000'000); }

TEST(MediaTime, ZeroInAnyTimescaleEqualsZeroAndInvalidIsDistinct) {
    EXPECT_EQ(MediaTime::make(0, 600), MediaTime::zero());
    EXPECT_EQ(MediaTime::make(0, 1'000'000'000), MediaTime::zero());
    EXPECT_FALSE(MediaTime::invalid().isValid());
    EXPECT_NE(MediaTime::invalid(), MediaTime::zero());
    EXPECT_GT(MediaTime::invalid(), MediaTime::make(std::numeric_limits<std::int64_t>::max(), 1));
    EXPECT_EQ(MediaTime::invalid(), MediaTime::invalid());
    EXPECT_FALSE(MediaTime::make(5, 0).isValid());
    EXPECT_FALSE(MediaTime::make(5, -3).isValid());
}

TEST(MediaTime, ComparesNumericallyAcrossTimescales) {
    EXPECT_EQ(MediaTime::make(1200, 600), MediaTime::make(2, 1));
    EXPECT_LT(MediaTime::make(1, 60), MediaTime::make(16'666'667, 1'000'000'000));
    EXPECT_GT(MediaTime::make(1, 60), MediaTime::make(16'666'666, 1'000'000'000));
    EXPECT_LT(MediaTime::make(-1, 3), MediaTime::zero());
}

TEST(MediaTime, SumsAndDifferencesAreExactInTheCommonTimescale) {
    const MediaTime sum = MediaTime::make(1, 60) + MediaTime::make(1, 600);
    EXPECT_EQ(sum.timescale, 600);
    EXPECT_EQ(sum.value, 11);
    EXPECT_EQ(sum.flags & MediaTime::hasBeenRounded, 0u);

    const MediaTime difference = MediaTime::make(1, 3) - MediaTime::make(1, 2);
    EXPECT_EQ(difference, MediaTime::make(-1, 6));
}

TEST(MediaTime, NanosecondTimesOverDaysDoNotOverflow) {
    // Host clock readings after 40 days of uptime, and a recording of 3 days.
    const std::int64_t day = 86'400LL * 1'000'000'000LL;
    const MediaTime start = ns(40 * day + 123);
    const MediaTime now = ns(43 * day + 456);
    EXPECT_EQ(now - start, ns(3 * day + 333));

    // Adding a 1/60 s frame to such a time cannot use the common timescale 3e9:
    // the result keeps nanoseconds, rounded to the nearest one.
    const MediaTime later = (now - start) + MediaTime::make(1, 60);
    EXPECT_EQ(later.timescale, 1'000'000'000);
    EXPECT_EQ(later.value, 3 * day + 333 + 16'666'667);
    EXPECT_NE(later.flags & MediaTime::hasBeenRounded, 0u);
}

TEST(MediaTime, InvalidOperandsAndOverflowGiveInvalid) {
    EXPECT_FALSE((MediaTime::invalid() + MediaTime::zero()).isValid());
    EXPECT_FALSE((MediaTime::zero() - MediaTime::invalid()).isValid());
    const MediaTime huge = MediaTime::make(std::numeric_limits<std::int64_t>::max(), 1);
    EXPECT_FALSE((huge + MediaTime::make(1, 1)).isValid());
}

TEST(MediaTime, MinimumAndSeconds) {
    EXPECT_EQ(minimum(MediaTime::make(3, 1), MediaTime::make(1200, 600)), MediaTime::make(2, 1));
    EXPECT_EQ(minimum(MediaTime::invalid(), MediaTime::make(1, 2)), MediaTime::make(1, 2));
    EXPECT_DOUBLE_EQ(MediaTime::make(1200, 600).seconds(), 2.0);
    EXPECT_EQ(MediaTime::fromSeconds(2.0, 600), MediaTime::make(1200, 600));
    EXPECT_EQ(MediaTime::fromSeconds(0.015, 1000).value, 15);
    EXPECT_FALSE(MediaTime::fromSeconds(std::numeric_limits<double>::infinity(), 600).isValid());
}

}  // namespace
}  // namespace kelvane::platform
