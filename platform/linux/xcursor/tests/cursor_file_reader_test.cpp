#include "platform/linux/xcursor/cursor_file_reader.h"

#include <gtest/gtest.h>

#include "platform/linux/xcursor/tests/theme_folder.h"

namespace kelvane::platform::xcursor {
namespace {

using testing::TemporaryFolder;
using testing::writeCursorFile;

class CursorFileReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Sizes out of order, and two animation frames at size 24.
        writeCursorFile(file_, {
                                   {32, 30, 28, 9, 7, 0x10000000},
                                   {24, 22, 20, 6, 5, 0x20000000},
                                   {24, 22, 20, 1, 1, 0x30000000},
                                   {48, 44, 42, 13, 11, 0x40000000},
                               });
    }

    TemporaryFolder folder_;
    std::string file_ = (folder_.path() / "cursor").string();
};

TEST_F(CursorFileReaderTest, NearestSizeIsScaleOneAndTheOtherSizesFollowSmallestFirst) {
    std::optional<CursorImage> cursor = readCursorFile(file_, 24);
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->pointWidth, 22);
    EXPECT_EQ(cursor->pointHeight, 20);
    EXPECT_EQ(cursor->hotspotX, 6);  // first frame, not the second
    EXPECT_EQ(cursor->hotspotY, 5);
    ASSERT_EQ(cursor->representations.size(), 3u);
    EXPECT_EQ(cursor->representations[0].pixelWidth, 22);
    EXPECT_EQ(cursor->representations[0].pixelHeight, 20);
    EXPECT_EQ(cursor->representations[1].pixelWidth, 30);
    EXPECT_EQ(cursor->representations[2].pixelWidth, 44);
    EXPECT_EQ(cursor->representations[2].pixelHeight, 42);

    // Pixels come through untouched, row after row.
    const CursorBitmap& first = cursor->representations[0];
    ASSERT_EQ(first.pixels.size(), 22u * 20u);
    EXPECT_EQ(first.pixels.front(), 0x20000000u);
    EXPECT_EQ(first.pixels.back(), 0x20000000u + 22 * 20 - 1);
}

TEST_F(CursorFileReaderTest, SizeChoiceFollowsTheRequestedSize) {
    EXPECT_EQ(readCursorFile(file_, 64)->pointWidth, 44);
    EXPECT_EQ(readCursorFile(file_, 1)->pointWidth, 22);
    EXPECT_EQ(readCursorFile(file_, 33)->pointWidth, 30);
    // 40 lies as far from 32 as from 48: the smaller size wins.
    std::optional<CursorImage> tie = readCursorFile(file_, 40);
    ASSERT_TRUE(tie);
    EXPECT_EQ(tie->pointWidth, 30);
    EXPECT_EQ(tie->hotspotX, 9);
    EXPECT_EQ(tie->representations.size(), 3u);
}

TEST_F(CursorFileReaderTest, MissingOrForeignFilesGiveNothing) {
    EXPECT_EQ(readCursorFile((folder_.path() / "absent").string(), 24), std::nullopt);
    testing::writeText(folder_.path() / "text", "not a cursor file at all");
    EXPECT_EQ(readCursorFile((folder_.path() / "text").string(), 24), std::nullopt);
    EXPECT_EQ(readCursorFile(folder_.path().string(), 24), std::nullopt);
}

}  // namespace
}  // namespace kelvane::platform::xcursor
