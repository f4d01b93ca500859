#include "platform/linux/x11/changed_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace kelvane::platform::x11 {
namespace {

// A kept picture 70 pixels wide (not whole chunks) inside rows of 80, and a fresh read of
// it in packed rows that differs at the listed pixels: the box around them comes back in
// whole chunks, cut at the row's end, and the kept rows end up equal to the read.
TEST(CopyChangedRows, FindsTheBoxAroundWhatDifferedAndCopiesIt) {
    constexpr int width = 70, rows = 5, keptStride = 80 * 4, freshStride = width * 4;
    struct Case {
        std::vector<std::pair<int, int>> changed;
        std::optional<FrameRect> box;
    };
    const std::vector<Case> cases = {
        {{}, std::nullopt},
        {{{69, 3}}, FrameRect{64, 3, 6, 1}},
        {{{1, 0}, {40, 4}}, FrameRect{0, 0, 64, 5}},
        {{{33, 2}, {34, 2}}, FrameRect{32, 2, 32, 1}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> kept(static_cast<std::size_t>(keptStride) * rows, 7);
        std::vector<std::uint8_t> fresh(static_cast<std::size_t>(freshStride) * rows, 7);
        for (const auto& [x, y] : c.changed) fresh[static_cast<std::size_t>(y) * freshStride + x * 4 + 1] = 9;
        const auto box = copyChangedRows(kept.data(), keptStride, fresh.data(), freshStride, width, rows);
        EXPECT_EQ(box, c.box) << c.changed.size() << " changed";
        for (int y = 0; y < rows; ++y) {
            EXPECT_TRUE(std::equal(fresh.begin() + y * freshStride, fresh.begin() + (y + 1) * freshStride,
                                   kept.begin() + y * keptStride))
                << "row " << y;
            // The rest of the kept row is not the picture's and stays as it was.
            EXPECT_EQ(kept[static_cast<std::size_t>(y) * keptStride + freshStride], 7) << "row " << y;
        }
    }
}

}  // namespace
}  // namespace kelvane::platform::x11
