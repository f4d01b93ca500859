#include "platform/linux/xcursor/cursor_theme_files.h"

#include <gtest/gtest.h>

#include <array>

#include "platform/linux/xcursor/tests/theme_folder.h"

namespace kelvane::platform::xcursor {
namespace {

using testing::TemporaryFolder;
using testing::writeCursorFile;
using testing::writeText;

class CursorThemeFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Two search folders, the way ~/.icons and /usr/share/icons sit side by side.
        user_ = folder_.path() / "user";
        system_ = folder_.path() / "system";
        writeText(system_ / "Child" / "index.theme", "[Icon Theme]\nName=Child\nInherits=Parent,Missing\n");
        writeCursorFile(system_ / "Child" / "cursors" / "left_ptr", {{24, 2, 2, 0, 0, 0xff000000}});
        writeCursorFile(system_ / "Parent" / "cursors" / "default", {{24, 2, 2, 0, 0, 0xff000000}});
        writeCursorFile(system_ / "Parent" / "cursors" / "xterm", {{24, 2, 2, 0, 0, 0xff000000}});
        writeCursorFile(user_ / "Parent" / "cursors" / "crosshair", {{24, 2, 2, 0, 0, 0xff000000}});
        writeCursorFile(system_ / "default" / "cursors" / "context-menu", {{24, 2, 2, 0, 0, 0xff000000}});
        writeCursorFile(system_ / "default" / "cursors" / "xterm", {{24, 2, 2, 0, 0, 0xff000000}});
    }

    CursorThemeFiles files(const std::string& theme) const { return CursorThemeFiles({user_.string(), system_.string()}, theme); }

    TemporaryFolder folder_;
    std::filesystem::path user_;
    std::filesystem::path system_;
};

TEST_F(CursorThemeFilesTest, ChosenThemeComesBeforeWhatItInheritsAndDefaultComesLast) {
    CursorThemeFiles child = files("Child");
    EXPECT_EQ(child.themeChain(), (std::vector<std::string>{"Child", "Parent", "Missing", "default"}));

    // The child's own legacy name beats the parent's newer name.
    std::array<std::string_view, 2> arrow = {"default", "left_ptr"};
    EXPECT_EQ(child.find(arrow), (system_ / "Child" / "cursors" / "left_ptr").string());
    // Found only in the parent; the parent's copy wins over the one in "default".
    std::array<std::string_view, 2> text = {"text", "xterm"};
    EXPECT_EQ(child.find(text), (system_ / "Parent" / "cursors" / "xterm").string());
    // A theme spread over two search folders is found in either.
    std::array<std::string_view, 1> crosshair = {"crosshair"};
    EXPECT_EQ(child.find(crosshair), (user_ / "Parent" / "cursors" / "crosshair").string());
    // Only the "default" theme has it.
    std::array<std::string_view, 1> menu = {"context-menu"};
    EXPECT_EQ(child.find(menu), (system_ / "default" / "cursors" / "context-menu").string());
    // Nobody has it.
    std::array<std::string_view, 2> missing = {"vertical-text", "no-such"};
    EXPECT_EQ(child.find(missing), std::nullopt);
}

TEST_F(CursorThemeFilesTest, InheritanceCyclesEndAndUnknownThemesFallBackToDefault) {
    writeText(system_ / "A" / "index.theme", "[Icon Theme]\nInherits = B\n");
    writeText(system_ / "B" / "index.theme", "[Icon Theme]\r\nInherits=A;Child\r\n");
    EXPECT_EQ(files("A").themeChain(), (std::vector<std::string>{"A", "B", "Child", "Parent", "Missing", "default"}));

    CursorThemeFiles unknown = files("NoSuchTheme");
    std::array<std::string_view, 2> text = {"text", "xterm"};
    EXPECT_EQ(unknown.find(text), (system_ / "default" / "cursors" / "xterm").string());
}

TEST_F(CursorThemeFilesTest, InheritsOutsideTheThemeSectionIsIgnored) {
    writeText(system_ / "C" / "index.theme", "[Other]\nInherits=Parent\n[Icon Theme]\nInheritsNot=Parent\n");
    EXPECT_EQ(files("C").themeChain(), (std::vector<std::string>{"C", "default"}));
}

TEST_F(CursorThemeFilesTest, NamesThatCouldLeaveTheSearchFoldersAreRefused) {
    writeCursorFile(folder_.path() / "cursors" / "escape", {{24, 2, 2, 0, 0, 0xff000000}});
    std::array<std::string_view, 1> escape = {"escape"};
    EXPECT_EQ(files("..").find(escape), std::nullopt);
    std::array<std::string_view, 2> sneaky = {"../../../cursors/escape", ".."};
    EXPECT_EQ(files("Child").find(sneaky), std::nullopt);
}

TEST_F(CursorThemeFilesTest, AliasLinksAreFollowedAndDanglingOnesSkipped) {
    std::filesystem::create_symlink("left_ptr", system_ / "Child" / "cursors" / "default");
    std::filesystem::create_symlink("gone", system_ / "Child" / "cursors" / "pointer");
    std::array<std::string_view, 1> arrow = {"default"};
    EXPECT_EQ(files("Child").find(arrow), (system_ / "Child" / "cursors" / "default").string());
    std::array<std::string_view, 1> pointer = {"pointer"};
    EXPECT_EQ(files("Child").find(pointer), std::nullopt);
}

}  // namespace
}  // namespace kelvane::platform::xcursor
