#include "cursor-watch/cursor_image_export.h"

#include <limits>

#include <gtest/gtest.h>

#include "cursor-watch/tests/image_line_decoding.h"
#include "cursor-watch/tests/synthetic_cursors.h"

namespace kelvane::cursorwatch {
namespace {

using platform::StandardCursor;
using testing::solidCursor;
using testing::splitFields;
using testing::syntheticCursor;

platform::CursorImage cursorWithHotspot(int width, int height, double hotspotX, double hotspotY) {
    auto image = solidCursor(width, height);
    image.hotspotX = hotspotX;
    image.hotspotY = hotspotY;
    return image;
}

std::vector<std::string> numberFields(const platform::CursorImage& image) {
    const auto line = cursorImageLine("arrow", image);
    if (!line) return {};
    const auto fields = splitFields(*line);
    return {fields.begin() + 2, fields.begin() + 5};
}

TEST(CursorImageLine, NumbersAreShortestRoundTripAlwaysWithAFraction) {
    using Fields = std::vector<std::string>;
    EXPECT_EQ(numberFields(cursorWithHotspot(16, 24, 4, 3)), (Fields{"0.25", "0.125", "0.6666666666666666"}));
    EXPECT_EQ(numberFields(cursorWithHotspot(16, 24, 4, 4)), (Fields{"0.25", "0.16666666666666666", "0.6666666666666666"}));
    EXPECT_EQ(numberFields(cursorWithHotspot(24, 24, 24, 0)), (Fields{"1.0", "0.0", "1.0"}));

    // Tiny ratios switch to exponent form; the ratios are not clamped to whole points.
    auto wide = cursorWithHotspot(4, 4, 1, 0.5);
    wide.pointWidth = 100000;
    wide.pointHeight = 0.5;
    EXPECT_EQ(numberFields(wide), (Fields{"1e-05", "1.0", "200000.0"}));
}

TEST(CursorImageLine, CarriesNameAndAPngOfTheBitmap) {
    // Fully opaque and fully clear pixels survive the PNG round trip exactly.
    const auto image = syntheticCursor(5, 3, 1, 1, [](int x, int y) { return static_cast<std::uint8_t>((x + y) % 2 ? 255 : 0); });
    const auto line = cursorImageLine("resize-ew", image);
    ASSERT_TRUE(line);
    const auto fields = splitFields(*line);
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[0], "CURSOR_IMAGE");
    EXPECT_EQ(fields[1], "resize-ew");
    const auto png = testing::base64Decode(fields[5]);
    ASSERT_TRUE(png) << "not standard base64";
    const auto decoded = testing::decodePng(*png);
    ASSERT_TRUE(decoded) << "not a PNG";
    EXPECT_EQ(decoded->width, 5);
    EXPECT_EQ(decoded->height, 3);
    EXPECT_EQ(decoded->pixels, image.representations.front().pixels);
}

TEST(CursorImageLine, EmptyImagesGiveNoLine) {
    EXPECT_FALSE(cursorImageLine("arrow", solidCursor(0, 24)));
    EXPECT_FALSE(cursorImageLine("arrow", solidCursor(24, 0)));
    auto noBitmap = solidCursor(24, 24);
    noBitmap.representations.clear();
    EXPECT_FALSE(cursorImageLine("arrow", noBitmap));
    // Ratios that are not numbers are not printed as "inf" or "nan".
    auto farHotspot = cursorWithHotspot(24, 24, std::numeric_limits<double>::infinity(), 0);
    EXPECT_FALSE(cursorImageLine("arrow", farHotspot));
    auto hairline = solidCursor(24, 24);
    hairline.pointHeight = 1e-320;
    EXPECT_FALSE(cursorImageLine("arrow", hairline));
}

TEST(ExportCursorImages, PrintsTheRepresentativeCursorsInVocabularyOrderSkippingGaps) {
    testing::TableStandardCursors theme;
    theme.images[StandardCursor::operationNotAllowed] = solidCursor(20, 20);
    theme.images[StandardCursor::arrow] = solidCursor(16, 24);
    theme.images[StandardCursor::resizeLeft] = solidCursor(24, 16);  // not exported
    theme.images[StandardCursor::resizeLeftRight] = solidCursor(24, 12);
    theme.images[StandardCursor::crosshair] = solidCursor(0, 0);  // unusable

    std::vector<std::string> names;
    exportCursorImages(theme, [&](std::string_view line) { names.push_back(splitFields(line).at(1)); });
    EXPECT_EQ(names, (std::vector<std::string>{"arrow", "resize-ew", "not-allowed"}));
    EXPECT_EQ(theme.requested.size(), 9u);
}

}  // namespace
}  // namespace kelvane::cursorwatch
