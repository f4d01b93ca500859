// kelvane-windows in a Wayland session with no X server: windows come from sway's
// tree with their frames, displays from the compositor's outputs, and the listing
// rules still apply.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testing/child_process.h"
#include "windows/tests/lister_run.h"
#include "testing/tests/desktop_test_commands.h"

namespace kelvane::windows {
namespace {

using namespace std::chrono_literals;
using kelvane::testing::ProgramRun;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::SpawnOptions;
using nlohmann::json;

const std::string kEmDash = "\xE2\x80\x94";
// The id of the desktop's one output, HEADLESS-1.
const std::string kHeadlessDisplay = "2675618608";

void sway(const std::string& command) {
    const ProgramRun result = testing::runProgram({"swaymsg", command});
    ASSERT_EQ(result.status, ExitStatus::exitCode(0)) << command << ": " << result.out << result.err;
}

// The sway container showing `appId`, once it is mapped.
// Sway lays a new window out, and applies a resize, only once the client has answered, so
// the tree is read until the window's place stays the same for two reads in a row (and,
// when a caller just asked for a width, shows that width).
json containerOf(const std::string& appId, std::optional<int> contentWidth = std::nullopt) {
    std::function<const json*(const json&)> search = [&](const json& node) -> const json* {
        if (node.value("app_id", json()) == appId) return &node;
        for (const char* children : {"nodes", "floating_nodes"}) {
            if (!node.contains(children)) continue;
            for (const json& child : node.at(children)) {
                if (const json* found = search(child)) return found;
            }
        }
        return nullptr;
    };
    json previous;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const json tree = json::parse(testing::runProgram({"swaymsg", "-r", "-t", "get_tree"}).out, nullptr, false);
        const json* found = search(tree);
        const auto width = found ? found->at("window_rect").at("width").get<int>() : 0;
        if (width != 0 && (!contentWidth || width == *contentWidth)) {
            const json place = {found->at("rect"), found->at("window_rect")};
            if (place == previous) return *found;
            previous = place;
        }
        std::this_thread::sleep_for(50ms);
    }
    ADD_FAILURE() << "no settled window with app id " << appId << (contentWidth ? " of the asked width" : "");
    return json::object();
}

const json* entryWithBundle(const json& list, const std::string& bundleId) {
    for (const json& entry : list) {
        if (entry.value("bundleId", "") == bundleId) return &entry;
    }
    return nullptr;
}

class WaylandWindowList : public ::testing::Test {
protected:
    // A terminal with a known app id and title, in the shown workspace.
    static void SetUpTestSuite() {
        terminal_ = new ChildProcess({"foot", "--app-id=kelvane-listed", "--title=Listed on Wayland", "sleep", "600"});
    }
    static void TearDownTestSuite() {
        delete terminal_;
        terminal_ = nullptr;
    }

    static json list(const std::vector<std::string>& arguments = {}) {
        const ListerRun run = runLister(arguments);
        EXPECT_EQ(run.status, ExitStatus::exitCode(0)) << run.err;
        EXPECT_EQ(run.err, "");
        return json::parse(run.out, nullptr, false);
    }

    static inline ChildProcess* terminal_ = nullptr;
};

TEST_F(WaylandWindowList, TheWindowWithItsFrameOnTheOutput) {
    const json container = containerOf("kelvane-listed");
    const json listed = list();
    const json* entry = entryWithBundle(listed, "kelvane-listed");
    ASSERT_NE(entry, nullptr) << listed;
    const json& rect = container.at("rect");
    const json& content = container.at("window_rect");
    EXPECT_EQ(entry->at("id"), "window:" + std::to_string(container.at("id").get<int>()) + ":0");
    EXPECT_EQ(entry->at("name"), "foot " + kEmDash + " Listed on Wayland");
    EXPECT_EQ(entry->at("appName"), "foot");
    EXPECT_EQ(entry->at("windowTitle"), "Listed on Wayland");
    EXPECT_EQ(entry->at("display_id"), kHeadlessDisplay);
    EXPECT_EQ(entry->at("x"), rect.at("x").get<int>() + content.at("x").get<int>());
    EXPECT_EQ(entry->at("y"), rect.at("y").get<int>() + content.at("y").get<int>());
    EXPECT_EQ(entry->at("width"), content.at("width"));
    EXPECT_EQ(entry->at("height"), content.at("height"));
    EXPECT_NE(entryWithBundle(listed, "kelvane-clock"), nullptr) << "the desktop's clock is a window too";
}

TEST_F(WaylandWindowList, ListingRulesStillApply) {
    containerOf("kelvane-listed");
    // Another workspace: listed only with --all-spaces.
    sway("[app_id=kelvane-listed] move container to workspace 2");
    EXPECT_EQ(entryWithBundle(list(), "kelvane-listed"), nullptr);
    EXPECT_NE(entryWithBundle(list({"--all-spaces"}), "kelvane-listed"), nullptr);
    // Back, floating and too narrow to offer: under 50 points without its borders.
    sway("floating_minimum_size 10 x 10");
    sway("[app_id=kelvane-listed] move container to workspace 1, floating enable, resize set 50 300");
    EXPECT_EQ(containerOf("kelvane-listed", 46).at("window_rect").at("width"), 46);
    EXPECT_EQ(entryWithBundle(list(), "kelvane-listed"), nullptr);
    sway("[app_id=kelvane-listed] resize set 54 300");
    containerOf("kelvane-listed", 50);
    EXPECT_NE(entryWithBundle(list(), "kelvane-listed"), nullptr);
    sway("[app_id=kelvane-listed] floating disable");
}

TEST_F(WaylandWindowList, WithoutSwaysIpcTheForeignToplevelListGivesTitlesOnTheirOutput) {
    containerOf("kelvane-listed");
    SpawnOptions noIpc;
    noIpc.unsetEnvironment = {"SWAYSOCK"};
    const ListerRun run = runLister({}, noIpc);
    ASSERT_EQ(run.status, ExitStatus::exitCode(0)) << run.err;
    const json listed = json::parse(run.out, nullptr, false);
    const json* entry = entryWithBundle(listed, "kelvane-listed");
    ASSERT_NE(entry, nullptr) << run.out;
    EXPECT_EQ(entry->at("name"), "kelvane-listed " + kEmDash + " Listed on Wayland");
    EXPECT_EQ(entry->at("display_id"), kHeadlessDisplay);
    EXPECT_EQ((std::vector<int>{entry->at("x"), entry->at("y"), entry->at("width"), entry->at("height")}),
              (std::vector<int>{0, 0, 1920, 1080}));
}

TEST(WaylandWindowListWithout, ACompositorItFailsAtOnce) {
    const auto started = std::chrono::steady_clock::now();
    SpawnOptions noCompositor;
    noCompositor.setEnvironment = {{"WAYLAND_DISPLAY", "no-such-display"}};
    const ListerRun failed = runLister({}, noCompositor);
    EXPECT_EQ(failed.status, ExitStatus::exitCode(1));
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err.rfind("Error listing windows: cannot connect to the Wayland display no-such-display", 0), 0u)
        << failed.err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

}  // namespace
}  // namespace kelvane::windows
