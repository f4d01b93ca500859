// kelvane-windows in a Wayland session that runs Xwayland: an X client's window is
// listed from sway's tree with the names its X class gives and its frame on the output.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "testing/child_process.h"
#include "testing/tests/desktop_test_commands.h"

namespace kelvane::windows {
namespace {

using namespace std::chrono_literals;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using nlohmann::json;

const std::string kLister = KELVANE_BINARY_DIR "/windows/kelvane-windows";
const std::string kWindowMaker = KELVANE_BINARY_DIR "/testing/window_maker/kelvane-test-window";
const std::string kHeadlessDisplay = "2675618608";

// The sway container with the id `id`, searched in the whole tree.
const json* containerWithID(const json& node, int id) {
    if (node.value("id", -1) == id) return &node;
    for (const char* children : {"nodes", "floating_nodes"}) {
        if (!node.contains(children)) continue;
        for (const json& child : node.at(children)) {
            if (const json* found = containerWithID(child, id)) return found;
        }
    }
    return nullptr;
}

// The listing's entry titled `title`, once the window is listed.
json listedTitled(const std::string& title) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto listed = testing::runProgram({kLister});
        EXPECT_EQ(listed.status, ExitStatus::exitCode(0)) << listed.err;
        for (const json& entry : json::parse(listed.out, nullptr, false)) {
            if (entry.value("windowTitle", "") == title) return entry;
        }
        std::this_thread::sleep_for(50ms);
    }
    ADD_FAILURE() << "no window titled " << title;
    return json::object();
}

// The frame sway gives the listed window: its container's place plus the content's place
// within it.
json frameInTree(const json& entry) {
    const std::string id = entry.at("id");  // "window:<container>:0"
    const json tree = json::parse(testing::runProgram({"swaymsg", "-r", "-t", "get_tree"}).out, nullptr, false);
    const json* container = containerWithID(tree, std::stoi(id.substr(7, id.rfind(':') - 7)));
    if (container == nullptr) return json::object();
    const json& rect = container->at("rect");
    const json& content = container->at("window_rect");
    return {{"shell", container->value("shell", "")},
            {"x", rect.at("x").get<int>() + content.at("x").get<int>()},
            {"y", rect.at("y").get<int>() + content.at("y").get<int>()},
            {"width", content.at("width")},
            {"height", content.at("height")}};
}

TEST(XwaylandWindowList, AnXWindowWithItsClassNamesAndItsFrameOnTheOutput) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the desktop runs no Xwayland";
    ChildProcess maker({kWindowMaker, "--window", "title=Through Xwayland", "class=xlisted,XListed"});
    json entry = listedTitled("Through Xwayland");
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(entry.at("name"), "XListed \xE2\x80\x94 Through Xwayland");
    EXPECT_EQ(entry.at("bundleId"), "xlisted");
    EXPECT_EQ(entry.at("appName"), "XListed");
    EXPECT_EQ(entry.at("display_id"), kHeadlessDisplay);

    // sway may still be adding the title bar when the window is first listed, so the listing
    // and the tree are compared again until both have seen the same frame.
    json frame = frameInTree(entry);
    const auto sameFrame = [&] {
        for (const char* key : {"x", "y", "width", "height"}) {
            if (!frame.contains(key) || entry.at(key) != frame.at(key)) return false;
        }
        return true;
    };
    for (int attempt = 0; attempt < 100 && !sameFrame(); ++attempt) {
        std::this_thread::sleep_for(50ms);
        entry = listedTitled("Through Xwayland");
        frame = frameInTree(entry);
    }
    ASSERT_FALSE(frame.empty()) << entry.at("id");
    EXPECT_EQ(frame.at("shell"), "xwayland");
    for (const char* key : {"x", "y", "width", "height"}) EXPECT_EQ(entry.at(key), frame.at(key)) << key;
}

}  // namespace
}  // namespace kelvane::windows
