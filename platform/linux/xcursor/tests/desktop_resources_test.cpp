// Theme and size from the display's X resources; runs inside the throwaway desktop.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/linux/xcursor/cursor_theme_settings.h"
#include "testing/child_process.h"

namespace kelvane::platform::xcursor {
namespace {

void mergeResources(const std::string& resources) {
    using kelvane::testing::ExitStatus;
    EXPECT_EQ(kelvane::testing::runProgram({"xrdb", "-nocpp", "-merge"}, {}, resources).status, ExitStatus::exitCode(0));
}

TEST(DesktopResources, ResourcesApplyOnlyWhereTheEnvironmentIsSilent) {
    ASSERT_NE(getenv("DISPLAY"), nullptr);
    unsetenv("XCURSOR_THEME");
    unsetenv("XCURSOR_SIZE");
    mergeResources("Xcursor.theme: DMZ-White\nXcursor.size: 32\n");

    CursorThemeSettings fromResources = currentCursorThemeSettings();
    EXPECT_EQ(fromResources.theme, "DMZ-White");
    EXPECT_EQ(fromResources.size, 32);

    setenv("XCURSOR_SIZE", "48", 1);
    CursorThemeSettings mixed = currentCursorThemeSettings();
    EXPECT_EQ(mixed.theme, "DMZ-White");
    EXPECT_EQ(mixed.size, 48);

    setenv("XCURSOR_THEME", "Adwaita", 1);
    EXPECT_EQ(currentCursorThemeSettings().theme, "Adwaita");

    // With no display at all the fallbacks apply.
    unsetenv("DISPLAY");
    unsetenv("XCURSOR_THEME");
    unsetenv("XCURSOR_SIZE");
    CursorThemeSettings headless = currentCursorThemeSettings();
    EXPECT_EQ(headless.theme, "default");
    EXPECT_EQ(headless.size, 24);
}

}  // namespace
}  // namespace kelvane::platform::xcursor
