#include "platform/linux/xcursor/cursor_theme_settings.h"

#include <gtest/gtest.h>

namespace kelvane::platform::xcursor {
namespace {

TEST(CursorThemeSettings, EnvironmentWinsOverResourcesWhichWinOverFallbacks) {
    CursorThemeSources all{"EnvTheme", "32", "ResTheme", "48"};
    CursorThemeSettings fromEnvironment = resolveCursorThemeSettings(all);
    EXPECT_EQ(fromEnvironment.theme, "EnvTheme");
    EXPECT_EQ(fromEnvironment.size, 32);

    CursorThemeSettings fromResources = resolveCursorThemeSettings({std::nullopt, std::nullopt, "ResTheme", "48"});
    EXPECT_EQ(fromResources.theme, "ResTheme");
    EXPECT_EQ(fromResources.size, 48);

    CursorThemeSettings fallbacks = resolveCursorThemeSettings({});
    EXPECT_EQ(fallbacks.theme, "default");
    EXPECT_EQ(fallbacks.size, 24);
}

TEST(CursorThemeSettings, UnusableValuesFallThroughToTheNextSource) {
    for (const char* bad : {"", "0", "-8", "24px", " 24", "abc", "1025", "99999999999"}) {
        CursorThemeSettings settings = resolveCursorThemeSettings({"", bad, std::nullopt, "40"});
        EXPECT_EQ(settings.size, 40) << "XCURSOR_SIZE=\"" << bad << "\"";
        EXPECT_EQ(settings.theme, "default");
    }
    EXPECT_EQ(resolveCursorThemeSettings({std::nullopt, "1024", std::nullopt, "bad"}).size, 1024);
    EXPECT_EQ(resolveCursorThemeSettings({std::nullopt, "x", std::nullopt, "bad"}).size, 24);
    EXPECT_EQ(resolveCursorThemeSettings({"", std::nullopt, "ResTheme", std::nullopt}).theme, "ResTheme");
}

}  // namespace
}  // namespace kelvane::platform::xcursor

namespace kelvane::platform::xcursor {

TEST(CursorThemeSettings, ResourcesAreReadFromTheDisplaysResourceText) {
    const std::string resources = "Xft.dpi:\t96\nXcursor*theme:\t  DMZ-White \n*size: 48\nXcursor.size:\t32\n*size: 64\nbroken line\n";
    EXPECT_EQ(resourceValue(resources, "Xcursor.theme"), "DMZ-White");
    EXPECT_EQ(resourceValue(resources, "Xcursor.size"), "32");
    EXPECT_EQ(resourceValue(resources, "Xft.antialias"), std::nullopt);
    EXPECT_EQ(resourceValue("Xcursor.theme:\t\n", "Xcursor.theme"), std::nullopt);
    EXPECT_EQ(resourceValue("*theme: Adwaita\nXTerm*theme: x\n", "Xcursor.theme"), "Adwaita");
}

}  // namespace kelvane::platform::xcursor
