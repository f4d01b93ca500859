// The two pixel-level choices: which bitmap stands for a cursor, and which canvas pixels
// count as opaque.
#include <gtest/gtest.h>

#include "cursor-atlas/best_cursor_bitmap.h"
#include "cursor-atlas/opaque_bounds.h"
#include "cursor-atlas/tests/decoded_png.h"

namespace kelvane::cursoratlas {
namespace {

using testing::drawBitmap;

platform::CursorBitmap solid(int width, int height, std::uint32_t colour) {
    return drawBitmap(width, height, [=](int, int) { return colour; });
}

TEST(BestCursorBitmap, PrefersTheDisplayScaleThenTheLargestArea) {
    platform::CursorImage image{24, 24, 0, 0, {solid(24, 24, 1), solid(48, 48, 2), solid(32, 32, 3)}};
    EXPECT_EQ(bestCursorBitmap(image, 1)->pixels[0], 1u);
    EXPECT_EQ(bestCursorBitmap(image, 2)->pixels[0], 2u);
    // No 36-pixel bitmap for scale 1.5: the largest one.
    EXPECT_EQ(bestCursorBitmap(image, 1.5)->pixels[0], 2u);
}

TEST(BestCursorBitmap, EqualAreasKeepTheirOrderAndUnusableBitmapsAreSkipped) {
    platform::CursorImage equal{10, 10, 0, 0, {solid(8, 2, 1), solid(4, 4, 2), solid(2, 8, 3)}};
    EXPECT_EQ(bestCursorBitmap(equal, 1)->pixels[0], 1u);

    platform::CursorBitmap torn = solid(64, 64, 4);
    torn.pixels.pop_back();
    platform::CursorBitmap empty{0, 64, {}};
    platform::CursorBitmap wrongScaleOne = solid(10, 10, 5);
    wrongScaleOne.pixelWidth = 11;
    platform::CursorImage damaged{10, 10, 0, 0, {wrongScaleOne, torn, empty, solid(20, 20, 6)}};
    EXPECT_EQ(bestCursorBitmap(damaged, 1)->pixels[0], 6u);

    platform::CursorImage none{10, 10, 0, 0, {torn, empty}};
    EXPECT_EQ(bestCursorBitmap(none, 1), nullptr);
    EXPECT_EQ(bestCursorBitmap(platform::CursorImage{}, 1), nullptr);
}

std::optional<PixelRect> boundsOf(const platform::CursorBitmap& bitmap) {
    return findOpaqueBounds(reinterpret_cast<const std::uint8_t*>(bitmap.pixels.data()), bitmap.pixelWidth,
                            bitmap.pixelHeight, bitmap.pixelWidth * 4);
}

TEST(OpaqueBounds, AlphaOfThreeCountsAndTwoDoesNot) {
    auto faintAt = [](std::uint32_t alpha) {
        return drawBitmap(10, 8, [=](int x, int y) -> std::uint32_t {
            if (x == 2 && y == 3) return 0xff000000u;
            if (x == 7 && y == 6) return alpha << 24;
            return 0x02ffffffu;  // colour bits set, alpha 2
        });
    };
    EXPECT_EQ(boundsOf(faintAt(2)), (PixelRect{2, 3, 1, 1}));
    EXPECT_EQ(boundsOf(faintAt(3)), (PixelRect{2, 3, 6, 4}));
    EXPECT_EQ(boundsOf(solid(5, 5, 0x02000000u)), std::nullopt);
    EXPECT_EQ(boundsOf(solid(5, 5, 0x00ffffffu)), std::nullopt);
    EXPECT_EQ(boundsOf(solid(5, 5, 0x03000000u)), (PixelRect{0, 0, 5, 5}));
}

TEST(OpaqueBounds, RowPaddingIsNotReadAsPixels) {
    // Two 3-pixel rows stored 5 pixels apart; the padding is opaque but lies outside.
    std::vector<std::uint32_t> memory = {0, 0, 0, 0xff000000u, 0xff000000u,  //
                                         0, 0xff000000u, 0, 0xff000000u, 0xff000000u};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(memory.data());
    EXPECT_EQ(findOpaqueBounds(bytes, 3, 2, 20), (PixelRect{1, 1, 1, 1}));
    EXPECT_EQ(findOpaqueBounds(bytes, 3, 0, 20), std::nullopt);
    EXPECT_EQ(findOpaqueBounds(nullptr, 3, 2, 20), std::nullopt);
}

}  // namespace
}  // namespace kelvane::cursoratlas
