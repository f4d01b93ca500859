#include "cursor-atlas/asset_geometry.h"

#include <gtest/gtest.h>

namespace kelvane::cursoratlas {
namespace {

const CursorAssetSettings settings{};

platform::CursorImage pointsOnly(double width, double height, double hotspotX = 0, double hotspotY = 0) {
    return {width, height, hotspotX, hotspotY, {}};
}

TEST(AssetGeometry, RetinaArrowOfTheWorkedExample) {
    const platform::CursorImage cursor = pointsOnly(16, 16, 4, 4);
    const CanvasPlan canvas = planCanvas(cursor, 32, 32, settings);
    EXPECT_EQ(canvas.sourceScale, 2);
    EXPECT_EQ(canvas.renderScale, 32);
    EXPECT_EQ(canvas.width, 1024);
    EXPECT_EQ(canvas.height, 1024);

    const OutputPlan output = planOutput(cursor, canvas, {128, 64, 640, 896}, settings);
    EXPECT_EQ(output.width, 732);  // 731.43 rounded up, never down
    EXPECT_EQ(output.height, 1024);
    EXPECT_NEAR(output.hotspotX, 146.2857142857, 1e-9);
    EXPECT_NEAR(output.hotspotY, 219.4285714286, 1e-9);
}

TEST(AssetGeometry, CanvasReachesTheReferenceHeightUpTo85PixelsAndGrowsBy12Above) {
    for (int height = 1; height <= 85; ++height) {
        EXPECT_EQ(planCanvas(pointsOnly(height, height), height, height, settings).height, 1024) << height;
    }
    const CanvasPlan at85 = planCanvas(pointsOnly(85, 85), 85, 85, settings);
    EXPECT_DOUBLE_EQ(at85.renderScale, 1024.0 / 85);
    const CanvasPlan at86 = planCanvas(pointsOnly(86, 86), 86, 86, settings);
    EXPECT_EQ(at86.renderScale, 12);
    EXPECT_EQ(at86.height, 1032);
    const CanvasPlan at128 = planCanvas(pointsOnly(64, 64), 128, 128, settings);
    EXPECT_EQ(at128.renderScale, 12);
    EXPECT_EQ(at128.height, 1536);
    EXPECT_EQ(at128.sourceScale, 2);
    const CanvasPlan at32 = planCanvas(pointsOnly(32, 32), 32, 32, settings);
    EXPECT_EQ(at32.renderScale, 32);
    EXPECT_EQ(at32.height, 1024);
}

TEST(AssetGeometry, WidthFollowsTheHeightsScaleAndSourceScaleTakesTheLargerAxis) {
    // 24 x 10 pixels for 12 x 10 points: 2 pixels per point across, 1 down.
    const CanvasPlan canvas = planCanvas(pointsOnly(12, 10), 24, 10, settings);
    EXPECT_EQ(canvas.sourceScale, 2);
    EXPECT_DOUBLE_EQ(canvas.renderScale, 102.4);
    EXPECT_EQ(canvas.width, 2458);  // 2457.6 rounded up
    EXPECT_EQ(canvas.height, 1024);

    // Sizes below one point count as one point.
    const CanvasPlan tiny = planCanvas(pointsOnly(0.5, 0), 4, 4, settings);
    EXPECT_EQ(tiny.sourceScale, 4);
}

TEST(AssetGeometry, OnePixelHighCropStillGivesTheReferenceHeight) {
    const platform::CursorImage cursor = pointsOnly(32, 32);
    const OutputPlan sliver = planOutput(cursor, planCanvas(cursor, 32, 32, settings), {0, 0, 3, 1}, settings);
    EXPECT_EQ(sliver.width, 3072);
    EXPECT_EQ(sliver.height, 1024);
}

}  // namespace
}  // namespace kelvane::cursoratlas
