#include "platform/linux/wayland/sway_tree_windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvane::platform::wayland {
namespace {

// Two outputs: DP-1 shows workspace 1 (a split container, two floating windows, the
// last one on top) and also holds workspace 3; HDMI-A-1 shows workspace 2 (Xwayland
// windows); one window waits in the scratchpad.
const char* const kTree = R"({"id": 1, "type": "root", "nodes": [
  {"id": 2147483647, "type": "output", "name": "__i3", "nodes": [
    {"id": 2147483646, "type": "workspace", "name": "__i3_scratch", "nodes": [], "floating_nodes": [
      {"id": 40, "type": "floating_con", "name": "Notes", "app_id": "notes", "pid": 400,
       "rect": {"x": 10, "y": 10, "width": 300, "height": 300}, "window_rect": {"x": 0, "y": 0, "width": 300, "height": 300}}]}]},
  {"id": 3, "type": "output", "name": "DP-1", "current_workspace": "1", "nodes": [
    {"id": 4, "type": "workspace", "name": "1", "nodes": [
      {"id": 5, "type": "con", "name": null, "layout": "splitv", "nodes": [
        {"id": 6, "type": "con", "name": "Editor", "app_id": "org.example.Editor", "pid": 600,
         "rect": {"x": 0, "y": 25, "width": 960, "height": 1055}, "window_rect": {"x": 2, "y": 0, "width": 956, "height": 1053}},
        {"id": 7, "type": "con", "name": "No app id", "app_id": null, "pid": 700,
         "rect": {"x": 960, "y": 25, "width": 960, "height": 1055}, "window_rect": {"x": 2, "y": 0, "width": 956, "height": 1053}}]}],
     "floating_nodes": [
      {"id": 8, "type": "floating_con", "name": "Lower", "app_id": "lower", "pid": 0,
       "rect": {"x": 100, "y": 100, "width": 200, "height": 200}, "window_rect": {"x": 0, "y": 0, "width": 200, "height": 200}},
      {"id": 9, "type": "floating_con", "name": "Upper", "app_id": "upper", "pid": 900,
       "rect": {"x": 150, "y": 150, "width": 200, "height": 200}, "window_rect": {"x": 0, "y": 0, "width": 200, "height": 200}}]},
    {"id": 10, "type": "workspace", "name": "3", "nodes": [
      {"id": 11, "type": "con", "name": "Elsewhere", "app_id": "elsewhere", "pid": 1100,
       "rect": {"x": 0, "y": 0, "width": 1920, "height": 1080}, "window_rect": {"x": 0, "y": 0, "width": 1920, "height": 1080}}],
     "floating_nodes": []}]},
  {"id": 12, "type": "output", "name": "HDMI-A-1", "current_workspace": "2", "nodes": [
    {"id": 13, "type": "workspace", "name": "2", "nodes": [
      {"id": 14, "type": "con", "name": "Untitled - Paint", "app_id": null, "shell": "xwayland", "pid": 1400,
       "window_properties": {"class": "Paint", "instance": "paint", "title": "Untitled - Paint", "window_type": "normal"},
       "rect": {"x": 1920, "y": 0, "width": 1280, "height": 1024}, "window_rect": {"x": 0, "y": 0, "width": 1280, "height": 1024}},
      {"id": 15, "type": "con", "name": "tip", "app_id": null, "shell": "xwayland", "pid": 1400,
       "window_properties": {"class": "Paint", "instance": "paint", "window_type": "tooltip"},
       "rect": {"x": 1920, "y": 0, "width": 60, "height": 60}, "window_rect": {"x": 0, "y": 0, "width": 60, "height": 60}}],
     "floating_nodes": []}]}]})";

std::optional<std::string> commandName(std::int32_t pid) {
    if (pid == 600) return "editor";
    if (pid == 700) return "bare";
    return std::nullopt;  // the others have exited or cannot be read
}

TEST(SwayTreeWindows, ShownWorkspacesFirstTopFloatingFirstScratchpadLast) {
    const auto windows = windowsFromSwayTree(kTree, commandName);
    ASSERT_TRUE(windows);
    std::vector<std::uint32_t> ids;
    std::vector<bool> onScreen;
    for (const ShareableWindow& window : *windows) {
        ids.push_back(window.windowID);
        onScreen.push_back(window.isOnScreen);
    }
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{9, 8, 6, 7, 14, 15, 11, 40}));
    EXPECT_EQ(onScreen, (std::vector<bool>{true, true, true, true, true, true, false, false}));
}

TEST(SwayTreeWindows, AttributesOfNativeAndXwaylandWindows) {
    const auto windows = windowsFromSwayTree(kTree, commandName);
    ASSERT_TRUE(windows);
    auto find = [&](std::uint32_t id) {
        for (const ShareableWindow& window : *windows) {
            if (window.windowID == id) return window;
        }
        ADD_FAILURE() << "no window " << id;
        return ShareableWindow{};
    };
    struct Expected {
        std::uint32_t id;
        std::optional<std::string> title, applicationName, bundleIdentifier;
        std::optional<std::int32_t> processID;
        Rect frame;
        std::int64_t layer;
    };
    const Expected cases[] = {
        // the content only: the border and title bar are left out
        {6, "Editor", "editor", "org.example.Editor", 600, {2, 25, 956, 1053}, 0},
        // no app id: named after its process, no identifier
        {7, "No app id", "bare", std::nullopt, 700, {962, 25, 956, 1053}, 0},
        // process unknown: the app id names it
        {9, "Upper", "upper", "upper", 900, {150, 150, 200, 200}, 0},
        {8, "Lower", "lower", "lower", std::nullopt, {100, 100, 200, 200}, 0},
        // Xwayland: WM_CLASS as on X11, and the window type's layer
        {14, "Untitled - Paint", "Paint", "paint", 1400, {1920, 0, 1280, 1024}, 0},
        {15, "tip", "Paint", "paint", 1400, {1920, 0, 60, 60}, 25},
    };
    for (const Expected& e : cases) {
        const ShareableWindow window = find(e.id);
        EXPECT_EQ(window.title, e.title) << e.id;
        EXPECT_EQ(window.frame, e.frame) << e.id;
        EXPECT_EQ(window.windowLayer, e.layer) << e.id;
        ASSERT_TRUE(window.owningApplication) << e.id;
        EXPECT_EQ(window.owningApplication->applicationName, e.applicationName) << e.id;
        EXPECT_EQ(window.owningApplication->bundleIdentifier, e.bundleIdentifier) << e.id;
        EXPECT_EQ(window.owningApplication->processID, e.processID) << e.id;
    }
}

TEST(SwayTreeWindows, AnythingButATreeIsRefused) {
    for (const char* text : {"", "{", "[]", R"({"type": "output", "nodes": []})", "null"}) {
        EXPECT_FALSE(windowsFromSwayTree(text, commandName)) << text;
    }
    const auto empty = windowsFromSwayTree(R"({"type": "root", "nodes": []})", commandName);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

}  // namespace
}  // namespace kelvane::platform::wayland
