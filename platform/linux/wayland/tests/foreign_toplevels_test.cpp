#include "platform/linux/wayland/foreign_toplevels.h"

#include <gtest/gtest.h>

namespace kelvane::platform::wayland {
namespace {

ToplevelInfo toplevel(std::optional<std::string> title, std::optional<std::string> appID,
                      std::optional<std::size_t> output, bool activated = false, bool minimized = false) {
    ToplevelInfo info;
    info.title = std::move(title);
    info.appID = std::move(appID);
    info.output = output;
    info.activated = activated;
    info.minimized = minimized;
    return info;
}

ShareableDisplay display(std::uint32_t id, Rect frame) {
    ShareableDisplay d;
    d.displayID = id;
    d.frame = frame;
    return d;
}

TEST(ForeignToplevels, ActiveFirstEachWithItsOutputsFrame) {
    const std::vector<ShareableDisplay> displays = {display(1, {0, 0, 1920, 1080}), display(2, {1920, 0, 1280, 1024})};
    const std::vector<ToplevelInfo> toplevels = {
        toplevel("Mail", "org.example.Mail", 1),
        toplevel("Editor", "editor", 0, true),
        toplevel("Hidden", "hidden", 1, false, true),
        toplevel("Nowhere yet", std::nullopt, std::nullopt),  // no output entered: the first display
        toplevel(std::nullopt, "untitled", 5),                // an output unknown here
    };
    struct Expected {
        std::uint32_t id;
        std::optional<std::string> title, application;
        Rect frame;
        bool onScreen;
    };
    const Expected expected[] = {
        {2, "Editor", "editor", {0, 0, 1920, 1080}, true},
        {1, "Mail", "org.example.Mail", {1920, 0, 1280, 1024}, true},
        {3, "Hidden", "hidden", {1920, 0, 1280, 1024}, false},
        {4, "Nowhere yet", std::nullopt, {0, 0, 1920, 1080}, true},
        {5, std::nullopt, "untitled", {0, 0, 0, 0}, true},
    };
    const std::vector<ShareableWindow> windows = windowsFromToplevels(toplevels, displays);
    ASSERT_EQ(windows.size(), std::size(expected));
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const ShareableWindow& window = windows[i];
        EXPECT_EQ(window.windowID, expected[i].id) << i;
        EXPECT_EQ(window.title, expected[i].title) << i;
        EXPECT_EQ(window.frame, expected[i].frame) << i;
        EXPECT_EQ(window.isOnScreen, expected[i].onScreen) << i;
        EXPECT_EQ(window.windowLayer, 0) << i;
        if (expected[i].application) {
            ASSERT_TRUE(window.owningApplication) << i;
            EXPECT_EQ(window.owningApplication->applicationName, expected[i].application) << i;
            EXPECT_EQ(window.owningApplication->bundleIdentifier, expected[i].application) << i;
            EXPECT_EQ(window.owningApplication->processID, std::nullopt) << i;
        } else {
            EXPECT_FALSE(window.owningApplication) << i;
        }
    }
    EXPECT_TRUE(windowsFromToplevels({toplevel("Alone", "alone", 0)}, {}).front().frame == Rect{});
}

}  // namespace
}  // namespace kelvane::platform::wayland
