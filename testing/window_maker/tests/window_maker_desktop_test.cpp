// Runs inside scripts/with-desktop: real windows from kelvane-test-window, checked on
// the X server and against the window manager's view of them.
#include <gtest/gtest.h>

#include <xcb/xfixes.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "testing/child_process.h"
#include "testing/desktop_x_queries.h"

namespace kelvane::testing {
namespace {

using namespace std::chrono_literals;

const std::string windowMaker = std::string(KELVANE_BINARY_DIR) + "/testing/window_maker/kelvane-test-window";

class WindowMakerTest : public ::testing::Test {
protected:
    // The next reply, skipping the flash and close reports that may come in between.
    std::string reply() {
        while (auto line = maker.readStdoutLine(20s)) {
            if (line->rfind("flash ", 0) != 0 && line->rfind("closed ", 0) != 0) return *line;
        }
        return "(no reply)";
    }

    xcb_window_t create(const std::string& settings) {
        EXPECT_TRUE(maker.writeLine("create " + settings));
        std::string id = reply();
        EXPECT_TRUE(!id.empty() && std::all_of(id.begin(), id.end(), ::isdigit)) << id;
        return static_cast<xcb_window_t>(std::strtoul(id.c_str(), nullptr, 10));
    }

    std::string command(const std::string& line) {
        EXPECT_TRUE(maker.writeLine(line));
        return reply();
    }

    bool inList(const std::string& list, xcb_window_t window) {
        auto ids = x.words(x.root(), list);
        return ids && std::count(ids->begin(), ids->end(), window) == 1;
    }

    bool hasState(xcb_window_t window, const std::string& state) {
        auto states = x.words(window, "_NET_WM_STATE");
        return states && std::count(states->begin(), states->end(), x.atom(state)) == 1;
    }

    // Polls until check() holds, for things the window manager does on its own time.
    template <typename Check>
    bool eventually(Check check) {
        for (auto deadline = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < deadline;) {
            if (check()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return check();
    }

    DesktopXQueries x;
    ChildProcess maker{{windowMaker}};
};

TEST_F(WindowMakerTest, WindowCarriesItsIdentityAndIsManaged) {
    xcb_window_t window = create(R"(title="Mail — Inbox" wm-name=Legacy class=mail,Mail gtk-app-id=org.example.Mail )"
                                 R"(kde-desktop-file=mail-kde type=dialog x=300 y=200 w=320 h=240)");
    EXPECT_TRUE(inList("_NET_CLIENT_LIST_STACKING", window));
    EXPECT_EQ(x.text(window, "_NET_WM_NAME"), "Mail — Inbox");
    EXPECT_EQ(x.text(window, "WM_NAME"), "Legacy");
    EXPECT_EQ(x.text(window, "WM_CLASS"), std::string("mail\0Mail\0", 10));
    EXPECT_EQ(x.text(window, "_GTK_APPLICATION_ID"), "org.example.Mail");
    EXPECT_EQ(x.text(window, "_KDE_NET_WM_DESKTOP_FILE"), "mail-kde");
    EXPECT_EQ(x.words(window, "_NET_WM_PID"), std::vector<uint32_t>{static_cast<uint32_t>(maker.pid())});
    EXPECT_EQ(x.words(window, "_NET_WM_WINDOW_TYPE"), std::vector<uint32_t>{x.atom("_NET_WM_WINDOW_TYPE_DIALOG")});
    EXPECT_TRUE(x.isViewable(window));

    // The frame's top-left corner is where asked; the client sits inside the frame.
    auto extents = x.words(window, "_NET_FRAME_EXTENTS");
    ASSERT_TRUE(extents && extents->size() == 4);
    auto geometry = x.geometry(window);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->x - static_cast<int>((*extents)[0]), 300);
    EXPECT_EQ(geometry->y - static_cast<int>((*extents)[2]), 200);
    EXPECT_EQ(geometry->width, 320u);
    EXPECT_EQ(geometry->height, 240u);
}

TEST_F(WindowMakerTest, LeftOffPropertiesAreAbsent) {
    xcb_window_t window = create("class= pid=none");
    EXPECT_FALSE(x.text(window, "WM_CLASS"));
    EXPECT_FALSE(x.words(window, "_NET_WM_PID"));
    EXPECT_FALSE(x.text(window, "_NET_WM_NAME"));
    EXPECT_FALSE(x.text(window, "WM_NAME"));
    xcb_window_t raw = create(R"(title=bad\xff\xfeutf8 pid=4242)");
    EXPECT_EQ(x.text(raw, "_NET_WM_NAME"), "bad\xff\xfeutf8");
    EXPECT_EQ(x.words(raw, "_NET_WM_PID"), std::vector<uint32_t>{4242});
}

TEST_F(WindowMakerTest, StatesAndDesktopsReachTheWindowManager) {
    xcb_window_t minimised = create("title=Minimised state=hidden");
    xcb_window_t elsewhere = create("title=Elsewhere desktop=2");
    xcb_window_t sticky = create("title=Sticky state=sticky,above");
    xcb_window_t dock = create("title=Dock type=dock x=0 y=0 w=1920 h=30");

    EXPECT_TRUE(hasState(minimised, "_NET_WM_STATE_HIDDEN"));
    EXPECT_FALSE(x.isViewable(minimised));
    EXPECT_TRUE(inList("_NET_CLIENT_LIST", minimised));

    EXPECT_EQ(x.words(elsewhere, "_NET_WM_DESKTOP"), std::vector<uint32_t>{2});
    EXPECT_EQ(x.words(x.root(), "_NET_CURRENT_DESKTOP"), std::vector<uint32_t>{0});
    EXPECT_FALSE(x.isViewable(elsewhere));

    EXPECT_TRUE(hasState(sticky, "_NET_WM_STATE_ABOVE"));
    EXPECT_TRUE(eventually([&] { return x.words(sticky, "_NET_WM_DESKTOP") == std::vector<uint32_t>{0xFFFFFFFF}; }));

    EXPECT_EQ(x.words(dock, "_NET_WM_WINDOW_TYPE"), std::vector<uint32_t>{x.atom("_NET_WM_WINDOW_TYPE_DOCK")});
    EXPECT_TRUE(x.isViewable(dock));

    xcb_window_t later = create("title=Later");
    EXPECT_EQ(command("minimize " + std::to_string(later)), "ok");
    EXPECT_TRUE(hasState(later, "_NET_WM_STATE_HIDDEN"));
}

TEST_F(WindowMakerTest, OverrideRedirectWindowBypassesTheWindowManager) {
    xcb_window_t popup = create("title=Popup override-redirect x=40 y=50 w=100 h=80 type=popup-menu");
    EXPECT_TRUE(x.isViewable(popup));
    // A window of an earlier test's client can still be listed under the same XID until
    // the window manager has seen that client go, so wait for the list to settle.
    EXPECT_TRUE(eventually([&] { return !inList("_NET_CLIENT_LIST", popup); }));
    auto geometry = x.geometry(popup);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->x, 40);
    EXPECT_EQ(geometry->y, 50);
}

TEST_F(WindowMakerTest, CommandsChangeAndCloseWindows) {
    xcb_window_t window = create("title=Before x=100 y=100 w=300 h=200 color=#ff0000");
    std::string id = std::to_string(window);
    EXPECT_EQ(command("resize " + id + " 200 150"), "ok");
    EXPECT_TRUE(eventually([&] {
        auto g = x.geometry(window);
        return g && g->width == 200 && g->height == 150;
    }));
    EXPECT_EQ(command("title " + id + " \"After it\""), "ok");
    EXPECT_EQ(x.text(window, "_NET_WM_NAME"), "After it");
    EXPECT_EQ(command("color " + id + " #00ff00"), "ok");
    EXPECT_TRUE(eventually([&] {
        auto g = x.geometry(window);
        return g && x.screenPixel(g->x + 10, g->y + 10) == 0x00ff00u;
    }));

    EXPECT_EQ(command("bogus"), "error unknown command \"bogus\"");
    EXPECT_EQ(command("resize 12345 10 10"), "error no window 12345");
    EXPECT_EQ(command("cursor " + id + " no-such-cursor-name"), "error no cursor named no-such-cursor-name");
    EXPECT_EQ(command("create type=nonsense"), "error unknown window type \"nonsense\"");

    EXPECT_EQ(command("close " + id), "ok");
    EXPECT_TRUE(eventually([&] { return !inList("_NET_CLIENT_LIST", window); }));

    maker.closeStdin();
    EXPECT_EQ(maker.waitForExit(20s), ExitStatus::exitCode(0));
}

TEST_F(WindowMakerTest, CursorIsReportedByNameUnderThePointer) {
    xcb_window_t window = create("title=Cursor x=500 y=400 w=200 h=200 cursor=pointer");
    auto geometry = x.geometry(window);
    ASSERT_TRUE(geometry);
    std::free(xcb_xfixes_query_version_reply(x.connection(), xcb_xfixes_query_version(x.connection(), 4, 0), nullptr));
    auto nameUnderPointer = [&] {
        xcb_xfixes_get_cursor_image_and_name_reply_t* image =
            xcb_xfixes_get_cursor_image_and_name_reply(x.connection(), xcb_xfixes_get_cursor_image_and_name(x.connection()), nullptr);
        std::string text;
        if (image) {
            text.assign(xcb_xfixes_get_cursor_image_and_name_name(image),
                        static_cast<size_t>(xcb_xfixes_get_cursor_image_and_name_name_length(image)));
        }
        std::free(image);
        return text;
    };
    std::string move = "xdotool mousemove --sync " + std::to_string(geometry->x + 100) + " " + std::to_string(geometry->y + 100);
    ASSERT_EQ(std::system(move.c_str()), 0);
    EXPECT_TRUE(eventually([&] { return nameUnderPointer() == "pointer"; })) << nameUnderPointer();

    EXPECT_EQ(command("cursor " + std::to_string(window) + " text"), "ok");
    EXPECT_TRUE(eventually([&] { return nameUnderPointer() == "text"; })) << nameUnderPointer();
}

TEST_F(WindowMakerTest, FlashesAreReportedOnTheMonotonicClockWhileWhiteIsShown) {
    xcb_window_t window = create("title=Flash content=flash flash-ms=900 color=#000080 x=50 y=50 w=200 h=100");
    auto geometry = x.geometry(window);
    ASSERT_TRUE(geometry);
    std::vector<int64_t> flashes;
    for (int i = 0; i < 2; ++i) {
        std::optional<std::string> line = maker.readStdoutLine(10s);
        ASSERT_TRUE(line);
        std::string prefix = "flash " + std::to_string(window) + " ";
        ASSERT_EQ(line->rfind(prefix, 0), 0u) << *line;
        flashes.push_back(std::stoll(line->substr(prefix.size())));
        // White lasts 900 ms of each second, so it is still on screen when the line is read.
        EXPECT_EQ(x.screenPixel(geometry->x + 5, geometry->y + 5), 0xffffffu);
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t nowNs = int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    EXPECT_LE(flashes[1], nowNs);
    EXPECT_GT(flashes[1], nowNs - 5'000'000'000);
    // One flash a second: the gap is a second give or take scheduling.
    EXPECT_GT(flashes[1] - flashes[0], 500'000'000);
    EXPECT_LT(flashes[1] - flashes[0], 1'500'000'000);
}

TEST(WindowMakerCommandLine, WindowsFromArgumentsThenEndOfInput) {
    ChildProcess maker({windowMaker, "--window", "title=One", "--window", "title=Two", "type=utility"});
    auto first = maker.readStdoutLine(20s);
    auto second = maker.readStdoutLine(20s);
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    DesktopXQueries x;
    EXPECT_EQ(x.text(static_cast<xcb_window_t>(std::stoul(*second)), "_NET_WM_NAME"), "Two");
    maker.closeStdin();
    EXPECT_EQ(maker.waitForExit(20s), ExitStatus::exitCode(0));

    ChildProcess wrong({windowMaker, "--window", "colour=#fff"});
    EXPECT_EQ(wrong.waitForExit(20s), ExitStatus::exitCode(1));
    EXPECT_EQ(wrong.readStderrLine(5s), "kelvane-test-window: unknown setting \"colour=#fff\"");
    EXPECT_EQ(wrong.readStdoutToEnd(5s), "");

    ChildProcess stopped({windowMaker, "--keep", "--window", "title=Kept"});
    ASSERT_TRUE(stopped.readStdoutLine(20s));
    stopped.closeStdin();
    EXPECT_EQ(stopped.waitForExit(500ms), std::nullopt);  // --keep outlives its input
    stopped.sendSignal(SIGTERM);
    EXPECT_EQ(stopped.waitForExit(20s), ExitStatus::exitCode(0));
}

}  // namespace
}  // namespace kelvane::testing
