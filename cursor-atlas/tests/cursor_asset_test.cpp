// Whole assets made from synthetic cursors, checked by decoding their PNG.
#include "cursor-atlas/cursor_asset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "cursor-atlas/tests/decoded_png.h"

namespace kelvane::cursoratlas {
namespace {

using testing::block;
using testing::cursorImage;
using testing::decodeDataUrl;
using testing::drawBitmap;

const CursorAssetSettings settings{};

// A distinct opaque colour for every source pixel, so a wrong source pixel shows.
std::uint32_t patternColour(int x, int y) { return 0xff000000u | std::uint32_t(x * 9 + 1) << 8 | std::uint32_t(y * 7 + 1); }

// True when every output pixel is a copy of the source pixel under its centre. Centres
// that fall within a hair of a block edge may take either neighbour.
void expectBlockCopies(const testing::DecodedPng& png, const std::function<std::uint32_t(int, int)>& source,
                       double left, double top, double sourceWidth, double sourceHeight) {
    int mismatches = 0;
    for (int y = 0; y < png.height && mismatches < 5; ++y) {
        const double v = top + (y + 0.5) * sourceHeight / png.height;
        for (int x = 0; x < png.width && mismatches < 5; ++x) {
            const double u = left + (x + 0.5) * sourceWidth / png.width;
            const std::uint32_t actual = png.at(x, y);
            bool matched = false;
            for (double du : {0.0, -0.01, 0.01}) {
                for (double dv : {0.0, -0.01, 0.01}) {
                    matched = matched || actual == source(int(std::floor(u + du)), int(std::floor(v + dv)));
                }
            }
            if (!matched) {
                ++mismatches;
                ADD_FAILURE() << "output pixel (" << x << ", " << y << ") = " << std::hex << actual;
            }
        }
    }
}

TEST(CursorAsset, WorkedExampleGivesExactNumbersAndSharpBlocks) {
    // 16 x 16 points, 32 x 32 pixels, opaque from pixel (4, 2) to (23, 29): on the
    // 1024-pixel canvas that is x 128 ... 767 and y 64 ... 959.
    auto source = [](int x, int y) { return x >= 4 && x <= 23 && y >= 2 && y <= 29 ? patternColour(x, y) : 0u; };
    std::optional<CursorAsset> asset = makeAsset(cursorImage(16, 16, 4, 4, {drawBitmap(32, 32, source)}), settings);
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->width, 732);
    EXPECT_EQ(asset->height, 1024);
    EXPECT_NEAR(asset->hotspotX, 146.2857142857, 1e-9);
    EXPECT_NEAR(asset->hotspotY, 219.4285714286, 1e-9);

    std::optional<testing::DecodedPng> png = decodeDataUrl(asset->dataUrl);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 732);
    EXPECT_EQ(png->height, 1024);
    expectBlockCopies(*png, source, 4, 2, 20, 28);
}

TEST(CursorAsset, NoInterpolatedAlphaAppearsAtAnyScale) {
    // Alpha values 0, 64 and 255 only, in a pattern with edges in both directions;
    // 7 x 11 pixels give a render scale that is not a whole number.
    auto source = [](int x, int y) -> std::uint32_t {
        if ((x + y) % 3 == 0) return 0;
        return (x % 2 == 0) ? 0xff204060u : 0x40102030u;
    };
    std::optional<CursorAsset> asset = makeAsset(cursorImage(7, 11, 3, 5, {drawBitmap(7, 11, source)}), settings);
    ASSERT_TRUE(asset);
    std::optional<testing::DecodedPng> png = decodeDataUrl(asset->dataUrl);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->height, 1024);
    std::set<std::uint32_t> alphas;
    for (std::uint32_t pixel : png->pixels) alphas.insert(pixel >> 24);
    EXPECT_EQ(alphas, (std::set<std::uint32_t>{0, 0x40, 0xff}));
    // Pixel (0, 0) is transparent but (1, 0) is not, so nothing is cropped.
    expectBlockCopies(*png, source, 0, 0, 7, 11);
}

TEST(CursorAsset, SquareBlockGivesA1024Square) {
    // A 20-pixel square block of a 32-pixel cursor: canvas pixels 320 ... 959 both ways.
    auto source = block(10, 10, 29, 29, 0xff000000u);
    std::optional<CursorAsset> asset = makeAsset(cursorImage(32, 32, 10, 10, {drawBitmap(32, 32, source)}), settings);
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->width, 1024);
    EXPECT_EQ(asset->height, 1024);
    // The hotspot sits on the block's top-left corner.
    EXPECT_EQ(asset->hotspotX, 0);
    EXPECT_EQ(asset->hotspotY, 0);
    std::optional<testing::DecodedPng> png = decodeDataUrl(asset->dataUrl);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 1024);
    EXPECT_EQ(png->height, 1024);
    for (std::uint32_t pixel : png->pixels) ASSERT_EQ(pixel, 0xff000000u);
}

TEST(CursorAsset, HotspotLeftOfTheOpaquePartIsNegative) {
    // Opaque columns 8 ... 15 of a 32-pixel cursor (canvas 256 ... 511); hotspot at column 2.
    std::optional<CursorAsset> asset =
        makeAsset(cursorImage(32, 32, 2, 16, {drawBitmap(32, 32, block(8, 0, 15, 31, 0xff112233u))}), settings);
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->hotspotX, 64 - 256);
    EXPECT_EQ(asset->hotspotY, 512);
    EXPECT_EQ(asset->width, 256);
    EXPECT_EQ(asset->height, 1024);
}

TEST(CursorAsset, TallSourceUsesTheMinimumScale) {
    // 128 pixels high at 2 pixels per point: canvas 1536 high, cropped to the block.
    std::optional<CursorAsset> asset =
        makeAsset(cursorImage(64, 64, 32, 32, {drawBitmap(128, 128, block(0, 64, 127, 127, 0xff000000u))}), settings);
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->width, 2048);
    EXPECT_EQ(asset->height, 1024);
    // Hotspot (32, 32) points = canvas pixel (768, 768); the crop starts at canvas row 768.
    EXPECT_NEAR(asset->hotspotX, 768 * (1024.0 / 768), 1e-9);
    EXPECT_NEAR(asset->hotspotY, 0, 1e-9);
}

TEST(CursorAsset, CursorsThatCannotBeDrawnGiveNothing) {
    EXPECT_FALSE(makeAsset(cursorImage(24, 24, 0, 0, {drawBitmap(24, 24, [](int, int) { return 0u; })}), settings));
    EXPECT_FALSE(makeAsset(cursorImage(24, 24, 0, 0, {drawBitmap(24, 24, [](int, int) { return 0x02ffffffu; })}), settings));
    EXPECT_TRUE(makeAsset(cursorImage(24, 24, 0, 0, {drawBitmap(24, 24, [](int, int) { return 0x03000000u; })}), settings));
    EXPECT_FALSE(makeAsset(cursorImage(24, 24, 0, 0, {}), settings));
    // One pixel high and 2000 wide: the first canvas would be two million pixels wide.
    EXPECT_FALSE(makeAsset(cursorImage(2000, 1, 0, 0, {drawBitmap(2000, 1, [](int, int) { return 0xff000000u; })}), settings));
    // A hotspot that is not a number cannot be written.
    EXPECT_FALSE(makeAsset(cursorImage(4, 4, NAN, 0, {drawBitmap(4, 4, [](int, int) { return 0xff000000u; })}), settings));
}

}  // namespace
}  // namespace kelvane::cursoratlas
