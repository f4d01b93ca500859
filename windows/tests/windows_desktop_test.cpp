// kelvane-windows against real windows on a throwaway desktop. The shared desktop has a
// window manager and one monitor; the bare-desktop and two-monitor cases run this
// program again inside a desktop of that kind.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "testing/child_process.h"
#include "windows/tests/lister_run.h"
#include "testing/stuck_x_server.h"

namespace kelvane::windows {
namespace {

using namespace std::chrono_literals;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::SpawnOptions;
using nlohmann::json;

const std::string kWindowMaker = KELVANE_BINARY_DIR "/testing/window_maker/kelvane-test-window";
const std::string kWithDesktop = KELVANE_SOURCE_DIR "/scripts/with-desktop";
constexpr const char* kDesktopKind = "KELVANE_WINDOWS_TEST_DESKTOP";
const std::string kEmDash = "\xE2\x80\x94";

json listWindows(const std::vector<std::string>& arguments = {}) {
    const ListerRun run = runLister(arguments);
    EXPECT_EQ(run.status, ExitStatus::exitCode(0)) << run.err;
    EXPECT_EQ(run.err, "");
    return json::parse(run.out);
}

std::string windowKey(std::uint32_t id) { return "window:" + std::to_string(id) + ":0"; }

const json* findWindow(const json& list, std::uint32_t id) {
    for (const json& entry : list) {
        if (entry.at("id") == windowKey(id)) return &entry;
    }
    return nullptr;
}

// Positions of our windows in the list, in list order.
std::vector<std::uint32_t> listedAmong(const json& list, const std::vector<std::uint32_t>& ids) {
    std::vector<std::uint32_t> listed;
    for (const json& entry : list) {
        for (const std::uint32_t id : ids) {
            if (entry.at("id") == windowKey(id)) listed.push_back(id);
        }
    }
    return listed;
}

// One kelvane-test-window process; every window it makes goes when it ends.
class WindowMaker {
public:
    WindowMaker() : process_({kWindowMaker}) {}
    ~WindowMaker() {
        process_.writeLine("quit");
        process_.closeStdin();
        if (!process_.waitForExit(5s)) process_.kill();
    }

    std::uint32_t create(const std::string& words) {
        process_.writeLine("create " + words);
        const auto reply = process_.readStdoutLine(20s);
        if (!reply || reply->empty() || !std::isdigit(static_cast<unsigned char>(reply->front()))) {
            ADD_FAILURE() << "window maker did not make \"" << words << "\": " << reply.value_or("(no reply)") << " "
                          << process_.readStderrToEnd(100ms);
            return 0;
        }
        return static_cast<std::uint32_t>(std::stoul(*reply));
    }

    pid_t pid() const { return process_.pid(); }

private:
    ChildProcess process_;
};

struct Monitor {
    std::uint32_t id;
    int x;
    int y;
    int width;
    int height;
};

// The RandR monitors as the server lists them, named the way the lister names displays.
std::vector<Monitor> randrMonitors() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::vector<Monitor> monitors;
    if (xcb_connection_has_error(c) == 0) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        free(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        auto* reply = xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr);
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem > 0;
                 xcb_randr_monitor_info_next(&it)) {
                const auto* info = it.data;
                const std::uint32_t id = xcb_randr_monitor_info_outputs_length(info) > 0
                                             ? xcb_randr_monitor_info_outputs(info)[0]
                                             : info->name;
                monitors.push_back({id, info->x, info->y, info->width, info->height});
            }
            free(reply);
        }
    }
    xcb_disconnect(c);
    return monitors;
}

bool insideDesktop(const char* kind) {
    const char* current = std::getenv(kDesktopKind);
    return current != nullptr && std::string(current) == kind;
}

std::string ownPath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// Runs the current test again inside a desktop made with `options`.
void rerunInside(const char* kind, const std::vector<std::string>& options) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::vector<std::string> argv = {kWithDesktop};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"--", ownPath()});
    argv.push_back(std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name());
    SpawnOptions spawn;
    spawn.setEnvironment[kDesktopKind] = kind;
    ChildProcess inner(argv, spawn);
    inner.closeStdin();
    const std::string out = inner.readStdoutToEnd(100s);
    const std::string err = inner.readStderrToEnd(5s);
    const auto status = inner.waitForExit(10s);
    EXPECT_EQ(status, ExitStatus::exitCode(0)) << out << err;
    // A filter that matched nothing would pass as well.
    EXPECT_NE(out.find("[  PASSED  ] 1 test."), std::string::npos) << out << err;
}

TEST(SharedDesktop, OnScreenListingLeavesOutOtherDesktopsAndMinimisedWindows) {
    WindowMaker maker;
    const std::uint32_t here = maker.create("title=Here class=spaces,Spaces w=300 h=200");
    const std::uint32_t elsewhere = maker.create("title=Elsewhere class=spaces,Spaces desktop=1 w=300 h=200");
    const std::uint32_t minimised = maker.create("title=Minimised class=spaces,Spaces state=hidden w=300 h=200");
    const std::uint32_t everywhere = maker.create("title=Everywhere class=spaces,Spaces desktop=all w=300 h=200");
    const std::vector<std::uint32_t> ours = {here, elsewhere, minimised, everywhere};

    const json onScreen = listWindows();
    EXPECT_EQ(listedAmong(onScreen, ours), (std::vector<std::uint32_t>{everywhere, here}));
    EXPECT_EQ(listedAmong(listWindows({"--ALL-SPACES"}), ours), (std::vector<std::uint32_t>{everywhere, here}));

    const std::vector<std::uint32_t> all = {elsewhere, everywhere, here, minimised};
    EXPECT_EQ(listedAmong(listWindows({"--all-spaces"}), ours), all);
    EXPECT_EQ(listedAmong(listWindows({"a", "b", "c", "--all-spaces"}), ours), all);
}

TEST(SharedDesktop, DocksMenusTooltipsAndKeptAboveWindowsAreNotOffered) {
    WindowMaker maker;
    const std::uint32_t normal = maker.create("title=Normal class=layers,Layers");
    const std::uint32_t dialog = maker.create("title=Dialog class=layers,Layers type=dialog");
    const std::vector<std::uint32_t> dropped = {
        maker.create("title=Panel class=layers,Layers type=dock w=1920 h=60 x=0 y=0"),
        maker.create("title=Tip class=layers,Layers type=tooltip"),
        maker.create("title=Popup class=layers,Layers override-redirect=1"),
        maker.create("title=Backdrop class=layers,Layers type=desktop"),
        maker.create("title=Floating class=layers,Layers state=above"),
        maker.create("title=Tiny class=layers,Layers w=49 h=300"),
        maker.create("title=Menubar class=layers,Layers"),
    };
    const json list = listWindows({"--all-spaces"});
    EXPECT_NE(findWindow(list, normal), nullptr);
    EXPECT_NE(findWindow(list, dialog), nullptr);
    for (const std::uint32_t id : dropped) EXPECT_EQ(findWindow(list, id), nullptr) << id;
}

TEST(SharedDesktop, UntitledWindowsOfAnApplicationWithATitledOneAreDropped) {
    WindowMaker maker;
    const std::uint32_t untitledEditor = maker.create("class=editor,Editor gtk-app-id=org.example.Editor");
    const std::uint32_t report = maker.create("title=Report class=editor,Editor gtk-app-id=org.example.Editor");
    const std::uint32_t blankEditor =
        maker.create("title=\"   \" class=editor,Editor gtk-app-id=org.example.Editor");
    const std::uint32_t firstViewer = maker.create("class=viewer,Viewer");
    const std::uint32_t secondViewer = maker.create("class=viewer,Viewer");

    const json list = listWindows();
    EXPECT_EQ(listedAmong(list, {untitledEditor, report, blankEditor, firstViewer, secondViewer}),
              (std::vector<std::uint32_t>{report, secondViewer, firstViewer}));
    const json& editor = *findWindow(list, report);
    EXPECT_EQ(editor.at("name"), "Editor " + kEmDash + " Report");
    EXPECT_EQ(editor.at("bundleId"), "org.example.Editor");
    const json& viewer = *findWindow(list, firstViewer);
    EXPECT_EQ(viewer.at("name"), "Viewer");
    EXPECT_EQ(viewer.at("windowTitle"), "Viewer");
    EXPECT_EQ(viewer.at("bundleId"), "viewer");
}

TEST(SharedDesktop, TitlesApplicationsAndFramesComeFromTheWindows) {
    WindowMaker maker;
    const std::uint32_t modern = maker.create(
        "net-wm-name=\"  Caf\xc3\xa9 \xe2\x80\x94 ~/docs\\n\" class=props,Props x=200 y=150 w=640 h=480");
    const std::uint32_t legacy = maker.create("wm-name=Caf\\xe9 class=props,Props w=300 h=200");
    const std::uint32_t broken = maker.create("net-wm-name=Bad\\xffName class=props,Props w=300 h=200");
    const std::uint32_t processOnly = maker.create("title=Orphan class= w=300 h=200");
    const std::uint32_t nothing = maker.create("class= pid=0 w=300 h=200");

    const json list = listWindows();
    const json* modernEntry = findWindow(list, modern);
    ASSERT_NE(modernEntry, nullptr);
    EXPECT_EQ(modernEntry->at("windowTitle"), "Caf\xC3\xA9 " + kEmDash + " ~/docs");
    EXPECT_EQ(modernEntry->at("appName"), "Props");
    EXPECT_EQ(modernEntry->at("width"), 640);
    EXPECT_EQ(modernEntry->at("height"), 480);
    // The window manager's frame sits around the window, so the window itself is at or
    // just inside the asked position.
    EXPECT_GE(modernEntry->at("x").get<double>(), 200);
    EXPECT_LT(modernEntry->at("x").get<double>(), 220);
    EXPECT_GE(modernEntry->at("y").get<double>(), 150);
    EXPECT_LT(modernEntry->at("y").get<double>(), 200);

    ASSERT_NE(findWindow(list, legacy), nullptr);
    // WM_NAME is Latin-1; a broken UTF-8 title is repaired, never passed on.
    EXPECT_EQ(findWindow(list, legacy)->at("windowTitle"), "Caf\xC3\xA9");
    ASSERT_NE(findWindow(list, broken), nullptr);
    EXPECT_EQ(findWindow(list, broken)->at("windowTitle"), "Bad\xEF\xBF\xBDName");

    // Without WM_CLASS the application is named after the process (comm keeps 15 bytes).
    const json* orphan = findWindow(list, processOnly);
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(orphan->at("appName"), "kelvane-test-wi");
    EXPECT_FALSE(orphan->contains("bundleId"));

    EXPECT_EQ(findWindow(list, nothing), nullptr);
}

TEST(SharedDesktop, NewerWindowsComeFirstAmongEqualEntries) {
    WindowMaker maker;
    const std::uint32_t first = maker.create("title=Same class=same,Same");
    const std::uint32_t second = maker.create("title=Same class=same,Same");
    const std::uint32_t third = maker.create("title=Same class=same,Same");
    EXPECT_EQ(listedAmong(listWindows(), {first, second, third}), (std::vector<std::uint32_t>{third, second, first}));
}

TEST(SharedDesktop, WithoutAnXServerTheErrorNamesTheDisplay) {
    // A display number with no socket behind it.
    int number = 4200 + static_cast<int>(getpid() % 1000);
    struct stat info {};
    while (stat(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), &info) == 0) ++number;
    const std::string display = ":" + std::to_string(number);

    SpawnOptions nowhere;
    nowhere.setEnvironment["DISPLAY"] = display;
    const ListerRun run = runLister({"--all-spaces"}, nowhere);
    EXPECT_EQ(run.status, ExitStatus::exitCode(1));
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("Error listing windows: ")) << run.err;
    EXPECT_NE(run.err.find("\"" + display + "\""), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;

    // A server that never answers, from the start or once the connection is made, like
    // a stopped one: the listing gives up within seconds.
    using kelvane::testing::StuckXServer;
    for (const StuckXServer::Behaviour behaviour :
         {StuckXServer::Behaviour::neverAnswers, StuckXServer::Behaviour::answersOnlyTheSetUp}) {
        const StuckXServer silent(behaviour);
        SpawnOptions silentDisplay;
        silentDisplay.setEnvironment["DISPLAY"] = silent.displayName();
        const auto started = std::chrono::steady_clock::now();
        const ListerRun unanswered = runLister({}, silentDisplay);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
        EXPECT_EQ(unanswered.status, ExitStatus::exitCode(1));
        EXPECT_EQ(unanswered.out, "");
        EXPECT_TRUE(unanswered.err.starts_with("Error listing windows: ")) << unanswered.err;
        EXPECT_NE(unanswered.err.find("\"" + silent.displayName() + "\""), std::string::npos) << unanswered.err;
    }

    SpawnOptions unset;
    unset.unsetEnvironment = {"DISPLAY"};
    const ListerRun noDisplay = runLister({}, unset);
    EXPECT_EQ(noDisplay.status, ExitStatus::exitCode(1));
    EXPECT_EQ(noDisplay.out, "");
    EXPECT_TRUE(noDisplay.err.starts_with("Error listing windows: ")) << noDisplay.err;
    EXPECT_NE(noDisplay.err.find("DISPLAY"), std::string::npos) << noDisplay.err;
}

TEST(BareDesktop, WithoutAWindowManagerTheMappedTopLevelWindowsAreListedExactly) {
    if (!insideDesktop("bare")) return rerunInside("bare", {"--no-wm", "--no-audio", "--no-dbus"});

    const std::vector<Monitor> monitors = randrMonitors();
    ASSERT_EQ(monitors.size(), 1u);
    const std::string display = std::to_string(monitors[0].id);

    WindowMaker maker;
    const std::uint32_t report = maker.create(
        "title=\"Report /draft \xe2\x80\x94 2\" class=editor,Editor gtk-app-id=org.example.Editor x=100 y=120 "
        "w=640 h=480");
    const std::uint32_t notes = maker.create("title=\"alpha notes\" class=notes,Notes x=1500 y=900 w=600 h=400");
    const std::uint32_t away = maker.create("title=Away class=away,Away x=2000 y=0 w=300 h=200");
    const std::uint32_t hidden = maker.create("title=Hidden class=away,Away state=hidden");
    const std::uint32_t popup = maker.create("title=Popup class=away,Away override-redirect=1");
    ASSERT_TRUE(report && notes && away && hidden && popup);

    const std::string expected =
        "[{\"appName\":\"Away\",\"bundleId\":\"away\",\"display_id\":\"\",\"height\":200,\"id\":\"" +
        windowKey(away) +
        "\",\"name\":\"Away " + kEmDash + " Away\",\"width\":300,\"windowTitle\":\"Away\",\"x\":2000,\"y\":0},"
        "{\"appName\":\"Editor\",\"bundleId\":\"org.example.Editor\",\"display_id\":\"" + display +
        "\",\"height\":480,\"id\":\"" + windowKey(report) + "\",\"name\":\"Editor " + kEmDash +
        " Report \\/draft " + kEmDash + " 2\",\"width\":640,\"windowTitle\":\"Report \\/draft " + kEmDash +
        " 2\",\"x\":100,\"y\":120},"
        "{\"appName\":\"Notes\",\"bundleId\":\"notes\",\"display_id\":\"" + display +
        "\",\"height\":400,\"id\":\"" + windowKey(notes) + "\",\"name\":\"Notes " + kEmDash +
        " alpha notes\",\"width\":600,\"windowTitle\":\"alpha notes\",\"x\":1500,\"y\":900}]";
    for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{"--all-spaces"}}) {
        const ListerRun run = runLister(arguments);
        EXPECT_EQ(run.status, ExitStatus::exitCode(0)) << run.err;
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err, "");
    }
}

// Sets a root window property of 32-bit values.
void setRootWords(const char* name, xcb_atom_t type, const std::vector<std::uint32_t>& values) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(strlen(name)), name), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom->atom, type, 32, static_cast<std::uint32_t>(values.size()),
                        values.data());
    free(atom);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

TEST(BareDesktop, AStackingListLeftByAWindowManagerThatDiedIsIgnored) {
    if (!insideDesktop("bare")) return rerunInside("bare", {"--no-wm", "--no-audio", "--no-dbus"});
    WindowMaker maker;
    const std::uint32_t first = maker.create("title=First class=stale,Stale");
    const std::uint32_t second = maker.create("title=Second class=stale,Stale");
    // The check window does not name itself, as a running window manager's would.
    setRootWords("_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, {first});
    setRootWords("_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, {first});
    EXPECT_EQ(listedAmong(listWindows(), {first, second}), (std::vector<std::uint32_t>{first, second}));
}

TEST(BareDesktop, WithoutAWindowManagerTheTopmostWindowComesFirst) {
    if (!insideDesktop("bare")) return rerunInside("bare", {"--no-wm", "--no-audio", "--no-dbus"});
    WindowMaker maker;
    const std::uint32_t bottom = maker.create("title=Same class=same,Same");
    const std::uint32_t top = maker.create("title=Same class=same,Same");
    EXPECT_EQ(listedAmong(listWindows(), {bottom, top}), (std::vector<std::uint32_t>{top, bottom}));
}

TEST(TwoMonitors, AWindowBelongsToTheFirstDisplayItTouches) {
    if (geteuid() != 0) GTEST_SKIP() << "two RandR monitors need Xorg, which needs root";
    if (!insideDesktop("two-monitors")) {
        return rerunInside("two-monitors", {"--monitors", "2", "--no-audio", "--no-dbus"});
    }
    const std::vector<Monitor> monitors = randrMonitors();
    ASSERT_EQ(monitors.size(), 2u);
    const Monitor& first = monitors[0];
    const Monitor& second = monitors[1];
    ASSERT_NE(first.id, second.id);

    // Mostly on the second monitor, but reaching 100 points into the first.
    const bool secondIsRight = second.x > first.x;
    const int edge = secondIsRight ? second.x : first.x;
    const int straddleX = secondIsRight ? edge - 100 : edge - 700;
    WindowMaker maker;
    const std::uint32_t straddling =
        maker.create("title=Straddling class=mon,Mon y=100 w=800 h=300 x=" + std::to_string(straddleX));
    const std::uint32_t onSecond = maker.create("title=Second class=mon,Mon y=400 w=400 h=300 x=" +
                                                std::to_string(second.x + 200));
    const std::uint32_t onFirst = maker.create("title=First class=mon,Mon y=400 w=400 h=300 x=" +
                                               std::to_string(first.x + 200));

    const json list = listWindows();
    ASSERT_NE(findWindow(list, straddling), nullptr);
    ASSERT_NE(findWindow(list, onSecond), nullptr);
    ASSERT_NE(findWindow(list, onFirst), nullptr);
    EXPECT_EQ(findWindow(list, straddling)->at("display_id"), std::to_string(first.id));
    EXPECT_EQ(findWindow(list, onSecond)->at("display_id"), std::to_string(second.id));
    EXPECT_EQ(findWindow(list, onFirst)->at("display_id"), std::to_string(first.id));
}

}  // namespace
}  // namespace kelvane::windows
