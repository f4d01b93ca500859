// Theme and size from the display's X resources; runs inside the throwaway desktop.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "platform/linux/xcursor/cursor_theme_settings.h"

namespace kelvane::platform::xcursor {
namespace {

void mergeResources(const std::string& resources) {
    FILE* xrdb = popen("xrdb -nocpp -merge", "w");
    ASSERT_NE(xrdb, nullptr);
    std::fputs(resources.c_str(), xrdb);
    ASSERT_EQ(pclose(xrdb), 0);
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
