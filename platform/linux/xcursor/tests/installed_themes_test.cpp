// The backend against the cursor themes installed on the machine (no display needed).
#include <gtest/gtest.h>
#include <stdlib.h>

#include "cursor-watch/cursor_names.h"
#include "platform/linux/xcursor/cursor_file_reader.h"
#include "platform/linux/xcursor/cursor_theme_files.h"
#include "platform/linux/xcursor/theme_cursor_names.h"
#include "platform/standard_cursors.h"

namespace kelvane::platform::xcursor {
namespace {

class InstalledThemes : public ::testing::TestWithParam<const char*> {};

TEST_P(InstalledThemes, EveryExportedCursorComesFromTheThemeItself) {
    const std::string theme = GetParam();
    CursorThemeFiles files({"/usr/share/icons"}, theme);
    for (const auto& [name, cursor] : cursorwatch::exportedCursorTable) {
        std::optional<std::string> file = files.find(themeCursorNames(cursor));
        ASSERT_TRUE(file) << name;
        EXPECT_TRUE(file->starts_with("/usr/share/icons/" + theme + "/cursors/")) << name << ": " << *file;

        std::optional<CursorImage> image = readCursorFile(*file, 24);
        ASSERT_TRUE(image) << *file;
        EXPECT_GE(image->pointHeight, 16) << name;
        EXPECT_LE(image->pointHeight, 32) << name;
        EXPECT_GE(image->hotspotX, 0) << name;
        EXPECT_LT(image->hotspotX, image->pointWidth) << name;
        EXPECT_GE(image->hotspotY, 0) << name;
        EXPECT_LT(image->hotspotY, image->pointHeight) << name;
        for (const CursorBitmap& bitmap : image->representations) {
            EXPECT_EQ(bitmap.pixels.size(), std::size_t(bitmap.pixelWidth) * bitmap.pixelHeight) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Themes, InstalledThemes, ::testing::Values("Adwaita", "DMZ-White"),
                         [](const auto& theme) { return std::string(theme.param) == "Adwaita" ? "Adwaita" : "DmzWhite"; });

TEST(InstalledThemesFactory, EnvironmentPicksThemeAndSizeWithoutADisplay) {
    unsetenv("DISPLAY");
    setenv("XCURSOR_PATH", "/usr/share/icons", 1);
    setenv("XCURSOR_THEME", "Adwaita", 1);
    setenv("XCURSOR_SIZE", "48", 1);
    std::optional<CursorImage> large = makeStandardCursors()->image(StandardCursor::arrow);
    setenv("XCURSOR_SIZE", "24", 1);
    std::optional<CursorImage> small = makeStandardCursors()->image(StandardCursor::arrow);
    ASSERT_TRUE(large);
    ASSERT_TRUE(small);
    EXPECT_GT(large->pointHeight, small->pointHeight);
    EXPECT_EQ(large->representations.size(), small->representations.size());
    EXPECT_EQ(large->representations[0].pixelHeight, large->pointHeight);
}

}  // namespace
}  // namespace kelvane::platform::xcursor
