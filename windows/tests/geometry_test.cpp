#include "platform/geometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace kelvane::platform {
namespace {

TEST(Geometry, NegativeSizesAreStandardised) {
    const Rect r{100, 50, -40, -20};
    EXPECT_EQ(width(r), 40);
    EXPECT_EQ(height(r), 20);
    EXPECT_EQ(minX(r), 60);
    EXPECT_EQ(maxY(r), 50);
    EXPECT_EQ(midX(r), 80);
    EXPECT_EQ(midY(r), 40);
    EXPECT_TRUE(intersects(r, Rect{70, 35, 1, 1}));
    EXPECT_TRUE(contains(r, Point{60, 30}));
}

TEST(Geometry, EdgesTouchWithoutIntersectingAndContainmentIsHalfOpen) {
    const Rect a{0, 0, 100, 100};
    EXPECT_FALSE(intersects(a, Rect{100, 0, 50, 50}));
    EXPECT_FALSE(intersects(a, Rect{0, 100, 50, 50}));
    EXPECT_TRUE(intersects(a, Rect{99.5, 99.5, 50, 50}));
    EXPECT_TRUE(intersects(a, Rect{-10, -10, 200, 200}));
    EXPECT_TRUE(contains(a, Point{0, 0}));
    EXPECT_FALSE(contains(a, Point{100, 50}));
    EXPECT_FALSE(contains(a, Point{50, 100}));
}

TEST(Geometry, NaNNeverIntersectsOrContains) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(intersects(Rect{0, 0, 100, 100}, Rect{nan, 0, 10, 10}));
    EXPECT_FALSE(contains(Rect{0, 0, 100, 100}, Point{nan, 5}));
}

}  // namespace
}  // namespace kelvane::platform
