#include "cursor-watch/cursor_signature.h"

#include <algorithm>
#include <limits>

#include <gtest/gtest.h>

#include "cursor-watch/tests/synthetic_cursors.h"

namespace kelvane::cursorwatch {
namespace {

using testing::solidCursor;
using testing::syntheticCursor;

std::uint8_t sampleAt(const CursorSignature& signature, int x, int y) {
    return signature.shapeSamples.at(static_cast<std::size_t>(y) * defaultSignatureSampleSize + x);
}

int opaqueCount(const CursorSignature& signature) {
    return static_cast<int>(std::count(signature.shapeSamples.begin(), signature.shapeSamples.end(), 255));
}

TEST(CursorSignature, AlphaFloorSeparatesFaintFromOpaque) {
    const auto faint = signature(solidCursor(32, 32, 24));
    const auto visible = signature(solidCursor(32, 32, 25));
    ASSERT_TRUE(faint && visible);
    ASSERT_EQ(faint->shapeSamples.size(), 1024u);
    EXPECT_EQ(opaqueCount(*faint), 0);
    EXPECT_EQ(opaqueCount(*visible), 1024);
}

TEST(CursorSignature, SamplesFollowTheImageRowByRow) {
    // Opaque only in the top-left 8 x 4 block of a 32 x 32 image drawn at scale 1.
    const auto cornered = signature(syntheticCursor(32, 32, 0, 0, [](int x, int y) {
        return static_cast<std::uint8_t>(x < 8 && y < 4 ? 255 : 0);
    }));
    ASSERT_TRUE(cornered);
    EXPECT_EQ(opaqueCount(*cornered), 32);
    EXPECT_EQ(sampleAt(*cornered, 7, 3), 255);
    EXPECT_EQ(sampleAt(*cornered, 3, 7), 0);
    EXPECT_EQ(sampleAt(*cornered, 8, 0), 0);
}

TEST(CursorSignature, TallImageKeepsItsProportionsAndIsCentred) {
    // 16 x 32 points fills the height and a centred band of half the width.
    const auto tall = signature(solidCursor(16, 32));
    ASSERT_TRUE(tall);
    for (int y = 0; y < 32; ++y) {
        EXPECT_EQ(sampleAt(*tall, 0, y), 0);
        EXPECT_EQ(sampleAt(*tall, 7, y), 0);
        EXPECT_EQ(sampleAt(*tall, 9, y), 255);
        EXPECT_EQ(sampleAt(*tall, 22, y), 255);
        EXPECT_EQ(sampleAt(*tall, 24, y), 0);
        EXPECT_EQ(sampleAt(*tall, 31, y), 0);
    }
    EXPECT_DOUBLE_EQ(tall->aspectRatio, 0.5);
}

TEST(CursorSignature, SmallImageIsScaledUpToFillTheSquare) {
    // The top-left quarter of an 8 x 8 image becomes the top-left quarter of the square.
    const auto quartered = signature(syntheticCursor(8, 8, 2, 6, [](int x, int y) {
        return static_cast<std::uint8_t>(x < 4 && y < 4 ? 255 : 0);
    }));
    ASSERT_TRUE(quartered);
    EXPECT_EQ(sampleAt(*quartered, 0, 0), 255);
    EXPECT_EQ(sampleAt(*quartered, 14, 14), 255);
    EXPECT_EQ(sampleAt(*quartered, 17, 17), 0);
    EXPECT_EQ(sampleAt(*quartered, 2, 20), 0);
    EXPECT_NEAR(opaqueCount(*quartered), 256, 40);
    EXPECT_DOUBLE_EQ(quartered->hotspotXRatio, 0.25);
    EXPECT_DOUBLE_EQ(quartered->hotspotYRatio, 0.75);
}

TEST(CursorSignature, EmptyOrUndrawableImagesHaveNone) {
    EXPECT_FALSE(signature(solidCursor(0, 24)));
    EXPECT_FALSE(signature(solidCursor(24, 0)));

    auto noBitmap = solidCursor(24, 24);
    noBitmap.representations.clear();
    EXPECT_FALSE(signature(noBitmap));

    auto truncatedBitmap = solidCursor(24, 24);
    truncatedBitmap.representations.front().pixels.resize(10);
    EXPECT_FALSE(signature(truncatedBitmap));

    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (const double bad : {infinity, std::numeric_limits<double>::quiet_NaN()}) {
        auto wide = solidCursor(24, 24);
        wide.pointWidth = bad;
        EXPECT_FALSE(signature(wide));
        auto lost = solidCursor(24, 24);
        lost.hotspotY = bad;
        EXPECT_FALSE(signature(lost));
    }
}

TEST(CursorSignature, ExtremeButFiniteImagesStillGetASignature) {
    // So thin that nothing of it covers a sample: an empty mask, not a failure.
    auto sliver = solidCursor(24, 24);
    sliver.pointWidth = 1e-300;
    const auto thin = signature(sliver);
    ASSERT_TRUE(thin);
    EXPECT_EQ(opaqueCount(*thin), 0);

    // Hotspots far outside the image cost a capped amount instead of overflowing.
    auto far = solidCursor(24, 24);
    far.hotspotX = 1e308;
    auto farOtherWay = far;
    farOtherWay.hotspotX = -1e308;
    const auto right = signature(far);
    const auto left = signature(farOtherWay);
    ASSERT_TRUE(right && left);
    EXPECT_EQ(signatureScore(*right, *right), 0);
    EXPECT_GT(signatureScore(*right, *left), 1'000'000'000);
    EXPECT_EQ(signatureScore(*right, *left), signatureScore(*left, *right));
}

TEST(CursorSignature, SizesBelowOnePointAreNotDividedByThemselves) {
    // 8 points wide, half a point high: the ratios use max(size, 1).
    auto flat = solidCursor(8, 1);
    flat.pointHeight = 0.5;
    flat.hotspotX = 2;
    flat.hotspotY = 0.25;
    const auto result = signature(flat);
    ASSERT_TRUE(result);
    EXPECT_DOUBLE_EQ(result->aspectRatio, 8.0);
    EXPECT_DOUBLE_EQ(result->hotspotXRatio, 0.25);
    EXPECT_DOUBLE_EQ(result->hotspotYRatio, 0.25);
}

CursorSignature plainSignature(std::vector<std::uint8_t> samples, double aspect = 1, double hotspotX = 0,
                               double hotspotY = 0) {
    return CursorSignature{aspect, hotspotX, hotspotY, std::move(samples)};
}

TEST(SignatureScore, IdenticalIsZeroAndOrderDoesNotMatter) {
    const auto arrowLike = signature(syntheticCursor(16, 24, 1, 1, [](int x, int y) {
        return static_cast<std::uint8_t>(x <= y ? 255 : 0);
    }));
    const auto block = signature(solidCursor(20, 20));
    ASSERT_TRUE(arrowLike && block);
    EXPECT_EQ(signatureScore(*arrowLike, *arrowLike), 0);
    const std::int64_t forward = signatureScore(*arrowLike, *block);
    EXPECT_GT(forward, 0);
    EXPECT_EQ(forward, signatureScore(*block, *arrowLike));
}

TEST(SignatureScore, ComparesOnlyTheShorterSampleRun) {
    const auto shortRun = plainSignature({255, 0, 255});
    const auto longRun = plainSignature({255, 0, 255, 255, 255, 255});
    EXPECT_EQ(signatureScore(shortRun, longRun), 0);
    EXPECT_EQ(signatureScore(longRun, shortRun), 0);
    const auto differingEarly = plainSignature({0, 0, 255, 0});
    EXPECT_EQ(signatureScore(shortRun, differingEarly), 255);
}

TEST(SignatureScore, WeighsSamplesProportionsAndHotspot) {
    const auto base = plainSignature({0, 255, 0, 255}, 1.0, 0.25, 0.5);
    // Two differing samples.
    EXPECT_EQ(signatureScore(base, plainSignature({255, 255, 0, 0}, 1.0, 0.25, 0.5)), 510);
    // An aspect difference of 0.125 costs 225, a hotspot shift of 0.125 along either axis 275.
    EXPECT_EQ(signatureScore(base, plainSignature({0, 255, 0, 255}, 1.125, 0.25, 0.5)), 225);
    EXPECT_EQ(signatureScore(base, plainSignature({0, 255, 0, 255}, 1.0, 0.375, 0.5)), 275);
    EXPECT_EQ(signatureScore(base, plainSignature({0, 255, 0, 255}, 1.0, 0.25, 0.375)), 275);
    EXPECT_EQ(signatureScore(base, plainSignature({255, 255, 0, 255}, 0.875, 0.125, 0.75)), 255 + 225 + 825);
}

TEST(SignatureScore, TruncatesEachWeightedTermTowardZero) {
    const auto base = plainSignature({}, 1.0, 0.5, 0.5);
    // 1800 / 1024 = 1.76 counts as 1.
    EXPECT_EQ(signatureScore(base, plainSignature({}, 1.0 + 1.0 / 1024, 0.5, 0.5)), 1);
    // The two hotspot shifts are added before truncating: 2 x 3/4096 x 2200 = 3.22 -> 3,
    // where truncating each (1.61 -> 1) would give 2.
    EXPECT_EQ(signatureScore(base, plainSignature({}, 1.0, 0.5 + 3.0 / 4096, 0.5 - 3.0 / 4096)), 3);
    // 0.3 - 0.2 is just below 0.1 in binary, so the shift costs 219, not 220.
    EXPECT_EQ(signatureScore(plainSignature({}, 1.0, 0.2, 0.5), plainSignature({}, 1.0, 0.3, 0.5)), 219);
    // Aspect and hotspot are truncated separately: 1.76 -> 1 and 1.07 -> 1.
    EXPECT_EQ(signatureScore(base, plainSignature({}, 1.0 + 1.0 / 1024, 0.5 + 1.0 / 2048, 0.5)), 2);
}

}  // namespace
}  // namespace kelvane::cursorwatch
