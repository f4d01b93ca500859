#include "testing/window_maker/content_frames.h"

#include <gtest/gtest.h>

#include <set>

namespace kelvane::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

WindowSpec withContent(ContentMode mode) {
    WindowSpec spec;
    spec.content = mode;
    return spec;
}

TEST(ContentFrames, SolidNeverChanges) {
    WindowSpec spec = withContent(ContentMode::solid);
    spec.color = 0x123456;
    EXPECT_EQ(contentFrameAt(spec, 100, 100, 5s).background, 0x123456u);
    EXPECT_FALSE(contentFrameAt(spec, 100, 100, 5s).box);
    EXPECT_EQ(nextContentChange(spec, 5s), std::nullopt);
}

TEST(ContentFrames, FlashIsWhiteForItsSpanAfterEachWholeSecond) {
    WindowSpec spec = withContent(ContentMode::flash);
    spec.flashMilliseconds = 200;
    // No flash in the first second, so a recorder can start before the first one.
    EXPECT_FALSE(contentFrameAt(spec, 10, 10, 0s).flashing);
    EXPECT_FALSE(contentFrameAt(spec, 10, 10, 999ms).flashing);
    EXPECT_TRUE(contentFrameAt(spec, 10, 10, 1s).flashing);
    EXPECT_EQ(contentFrameAt(spec, 10, 10, 1s).background, flashColor);
    EXPECT_TRUE(contentFrameAt(spec, 10, 10, 3199ms).flashing);
    EXPECT_FALSE(contentFrameAt(spec, 10, 10, 3200ms).flashing);
    EXPECT_EQ(contentFrameAt(spec, 10, 10, 3200ms).background, spec.color);

    EXPECT_EQ(nextContentChange(spec, 0s), nanoseconds(1s));
    EXPECT_EQ(nextContentChange(spec, 1s), nanoseconds(1200ms));
    EXPECT_EQ(nextContentChange(spec, 1100ms), nanoseconds(1200ms));
    EXPECT_EQ(nextContentChange(spec, 1200ms), nanoseconds(2s));
}

TEST(ContentFrames, CycleStepsThroughDistinctNonWhiteColoursAtItsRate) {
    WindowSpec spec = withContent(ContentMode::cycle);
    spec.rate = 4;
    std::set<uint32_t> seen;
    uint32_t previous = contentFrameAt(spec, 10, 10, 0s).background;
    EXPECT_EQ(previous, spec.color);
    for (int step = 1; step <= 5; ++step) {
        nanoseconds at = step * nanoseconds(250ms);
        EXPECT_EQ(contentFrameAt(spec, 10, 10, at - 1ns).background, previous);
        uint32_t now = contentFrameAt(spec, 10, 10, at).background;
        EXPECT_NE(now, previous) << "step " << step;
        EXPECT_NE(now, flashColor);
        seen.insert(now);
        previous = now;
        EXPECT_EQ(nextContentChange(spec, at), at + nanoseconds(250ms));
    }
    EXPECT_EQ(seen.size(), 5u);
}

TEST(ContentFrames, MovingBoxStaysInsideAndMoves) {
    WindowSpec spec = withContent(ContentMode::movingBox);
    const uint32_t width = 300, height = 120;
    std::set<int> positions;
    for (nanoseconds t = 0s; t < 10s; t += 7ms) {
        ContentFrame frame = contentFrameAt(spec, width, height, t);
        ASSERT_TRUE(frame.box);
        EXPECT_GE(frame.box->x, 0);
        EXPECT_LE(frame.box->x + static_cast<int>(frame.box->width), static_cast<int>(width));
        EXPECT_GE(frame.box->y, 0);
        EXPECT_LE(frame.box->y + static_cast<int>(frame.box->height), static_cast<int>(height));
        positions.insert(frame.box->x);
    }
    // It crosses the whole window both ways: it comes within one step of either edge.
    const int step = movingBoxPixelsPerSecond / movingBoxFramesPerSecond;
    const int rightmost = static_cast<int>(width - contentFrameAt(spec, width, height, 0s).box->width);
    EXPECT_EQ(*positions.begin(), 0);
    EXPECT_GT(*positions.rbegin(), rightmost - step);
    EXPECT_NE(contentFrameAt(spec, width, height, 0s).box->x, contentFrameAt(spec, width, height, 100ms).box->x);
    EXPECT_EQ(nextContentChange(spec, 0s), nanoseconds(1s) / movingBoxFramesPerSecond);
    // A window narrower than the box keeps it at the left edge.
    EXPECT_EQ(contentFrameAt(spec, 4, 4, 3s).box->x, 0);
}

}  // namespace
}  // namespace kelvane::testing
