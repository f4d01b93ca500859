#include "windows/window_rules.h"

#include <gtest/gtest.h>

#include <limits>

#include "testing/fake_shareable_content.h"

namespace kelvane::windows {
namespace {

using platform::Rect;
using testing::fakeDisplay;
using testing::fakeWindow;

const std::vector<platform::ShareableDisplay> kTwoDisplays = {fakeDisplay(11, Rect{0, 0, 1920, 1080}),
                                                              fakeDisplay(22, Rect{1920, 0, 1280, 1024})};

bool listed(const platform::ShareableWindow& window) {
    return makeRawWindowEntry(window, kTwoDisplays, makeExclusionTables()).has_value();
}

TEST(WindowRules, OnlyTheNormalLayerIsListed) {
    EXPECT_TRUE(listed(fakeWindow(1, "T", "App", "org.app")));
    for (const std::int64_t layer : {-2147483623LL, -1LL, 3LL, 20LL, 25LL, 101LL}) {
        EXPECT_FALSE(listed(fakeWindow(1, "T", "App", "org.app", Rect{0, 0, 800, 600}, layer))) << layer;
    }
}

TEST(WindowRules, BothSidesMustBeAtLeastFiftyPoints) {
    EXPECT_TRUE(listed(fakeWindow(1, "T", "App", std::nullopt, Rect{0, 0, 50, 50})));
    EXPECT_FALSE(listed(fakeWindow(1, "T", "App", std::nullopt, Rect{0, 0, 49.9, 500})));
    EXPECT_FALSE(listed(fakeWindow(1, "T", "App", std::nullopt, Rect{0, 0, 500, 49.9})));
    EXPECT_FALSE(listed(fakeWindow(1, "T", "App", std::nullopt,
                                   Rect{0, 0, std::numeric_limits<double>::quiet_NaN(), 500})));
    // A rectangle given with a negative width still has its size.
    EXPECT_TRUE(listed(fakeWindow(1, "T", "App", std::nullopt, Rect{500, 0, -80, 60})));
}

TEST(WindowRules, AWindowNeedsAnApplicationNameOrATitle) {
    EXPECT_TRUE(listed(fakeWindow(1, "Mail", std::nullopt, std::nullopt)));
    EXPECT_TRUE(listed(fakeWindow(1, std::nullopt, "App", std::nullopt)));
    EXPECT_FALSE(listed(fakeWindow(1, std::nullopt, std::nullopt, std::nullopt)));
    EXPECT_FALSE(listed(fakeWindow(1, " \t", "\n", "org.app")));
}

TEST(WindowRules, ExcludedBundlesAreDroppedOnTheirNormalisedWholeValue) {
    EXPECT_FALSE(listed(fakeWindow(1, "Dock", "Dock", "com.apple.dock")));
    EXPECT_FALSE(listed(fakeWindow(1, "x", "Centre", " com.apple.controlcenter\n")));
    EXPECT_FALSE(listed(fakeWindow(1, "x", "Wallpaper", "com.apple.wallpaper.agent")));
    EXPECT_FALSE(listed(fakeWindow(1, "x", "WM", "com.apple.WindowManager")));
    EXPECT_TRUE(listed(fakeWindow(1, "Dock", "Dock", "com.apple.Dock")));
    EXPECT_TRUE(listed(fakeWindow(1, "Dock", "Dock", "com.apple.dock.helper")));
}

TEST(WindowRules, ExcludedTitlesAreDroppedWhateverTheApplication) {
    for (const char* title : {"Menubar", "Display 1 Backstop", "Event Shield Window", "Offscreen Wallpaper Window",
                              "Wallpaper-", "  Menubar "}) {
        EXPECT_FALSE(listed(fakeWindow(1, title, "Any", "org.any"))) << title;
        EXPECT_FALSE(listed(fakeWindow(1, title, std::nullopt, std::nullopt))) << title;
    }
    EXPECT_TRUE(listed(fakeWindow(1, "Wallpaper-1", "Any", "org.any")));
    EXPECT_TRUE(listed(fakeWindow(1, "menubar", "Any", "org.any")));
    // An application named like an excluded title is not a title.
    EXPECT_TRUE(listed(fakeWindow(1, std::nullopt, "Menubar", "org.any")));
}

TEST(WindowRules, RawEntryRemembersWhetherTheWindowHadItsOwnTitle) {
    const auto titled = makeRawWindowEntry(fakeWindow(5, " Doc ", " App ", " org.app "), kTwoDisplays,
                                           makeExclusionTables());
    ASSERT_TRUE(titled);
    EXPECT_TRUE(titled->hasRawTitle);
    EXPECT_EQ(titled->bundleId, "org.app");
    EXPECT_EQ(titled->entry.bundleId, "org.app");
    EXPECT_EQ(titled->entry.name, "App \xE2\x80\x94 Doc");

    const auto untitled = makeRawWindowEntry(fakeWindow(6, "  ", "App", "org.app"), kTwoDisplays,
                                             makeExclusionTables());
    ASSERT_TRUE(untitled);
    EXPECT_FALSE(untitled->hasRawTitle);
    EXPECT_EQ(untitled->entry.windowTitle, "App");
}

TEST(DisplayAssignment, FirstDisplayInOrderThatTheWindowTouchesWins) {
    // Mostly on the second display, yet it overlaps the first by ten points.
    EXPECT_EQ(assignDisplay(Rect{1910, 100, 800, 600}, kTwoDisplays), 11u);
    const std::vector<platform::ShareableDisplay> reversed = {kTwoDisplays[1], kTwoDisplays[0]};
    EXPECT_EQ(assignDisplay(Rect{1910, 100, 800, 600}, reversed), 22u);
    // Touching the shared edge is not overlapping it.
    EXPECT_EQ(assignDisplay(Rect{1920, 100, 800, 600}, kTwoDisplays), 22u);
    EXPECT_EQ(assignDisplay(Rect{1120, 100, 800, 600}, kTwoDisplays), 11u);
}

TEST(DisplayAssignment, WindowOutsideEveryDisplayHasNone) {
    EXPECT_EQ(assignDisplay(Rect{5000, 5000, 800, 600}, kTwoDisplays), std::nullopt);
    EXPECT_EQ(assignDisplay(Rect{-900, 0, 900, 600}, kTwoDisplays), std::nullopt);
    EXPECT_EQ(assignDisplay(Rect{0, 0, 800, 600}, {}), std::nullopt);
    const auto entry = makeRawWindowEntry(fakeWindow(1, "T", "A", std::nullopt, Rect{5000, 0, 100, 100}),
                                          kTwoDisplays, makeExclusionTables());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->entry.display_id, "");
}

TEST(DisplayAssignment, ADegenerateWindowBelongsToTheDisplayHoldingItsCentre) {
    // A window of no size on the shared edge overlaps neither display, yet its centre
    // lies on the second one (a left edge belongs to its display).
    EXPECT_EQ(assignDisplay(Rect{1920, 0, 0, 0}, kTwoDisplays), 22u);
    EXPECT_EQ(assignDisplay(Rect{3200, 0, 0, 0}, kTwoDisplays), std::nullopt);
}

std::vector<RawWindowEntry> candidates(const std::vector<platform::ShareableWindow>& windows) {
    std::vector<RawWindowEntry> result;
    for (const auto& window : windows) {
        if (auto raw = makeRawWindowEntry(window, kTwoDisplays, makeExclusionTables())) result.push_back(*raw);
    }
    return result;
}

std::vector<std::string> idsOf(const std::vector<WindowListEntry>& entries) {
    std::vector<std::string> ids;
    for (const auto& entry : entries) ids.push_back(entry.id);
    return ids;
}

TEST(TitledWindowFilter, UntitledWindowsGoOnceTheirApplicationHasATitledOne) {
    const auto kept = keepTitledWindows(candidates({
        fakeWindow(1, std::nullopt, "Editor", "org.editor"),
        fakeWindow(2, "Report", "Editor", "org.editor"),
        fakeWindow(3, " ", "Editor", "org.editor"),
        fakeWindow(4, std::nullopt, "Viewer", "org.viewer"),
        fakeWindow(5, std::nullopt, "Viewer", "org.viewer"),
    }));
    EXPECT_EQ(idsOf(kept), (std::vector<std::string>{"window:2:0", "window:4:0", "window:5:0"}));
    EXPECT_EQ(kept[1].name, "Viewer");
}

TEST(TitledWindowFilter, WindowsWithoutBundleIdentifierAreNeverDropped) {
    const auto kept = keepTitledWindows(candidates({
        fakeWindow(1, "Titled", "Tool", std::nullopt),
        fakeWindow(2, std::nullopt, "Tool", std::nullopt),
    }));
    EXPECT_EQ(idsOf(kept), (std::vector<std::string>{"window:1:0", "window:2:0"}));
}

TEST(TitledWindowFilter, OnlyTitledWindowsThatSurvivedTheRulesCount) {
    // The titled window is dropped by the title table before the count, so the
    // application's untitled window stays.
    const auto kept = keepTitledWindows(candidates({
        fakeWindow(1, "Menubar", "Shell", "org.shell"),
        fakeWindow(2, "Tiny", "Shell", "org.shell", Rect{0, 0, 10, 10}),
        fakeWindow(3, std::nullopt, "Shell", "org.shell"),
    }));
    EXPECT_EQ(idsOf(kept), (std::vector<std::string>{"window:3:0"}));
}

}  // namespace
}  // namespace kelvane::windows
