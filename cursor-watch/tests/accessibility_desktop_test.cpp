// The accessibility fallback against a real GTK window on the throwaway desktop: the
// probe's answers for each kind of widget, and the same answers in the monitor's
// STATE lines when it knows no cursor images to compare with.
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "cursor-watch/accessibility_probe.h"
#include "platform/accessibility.h"
#include "testing/child_process.h"
#include "testing/gtk_test_window/gtk_test_window.h"

namespace kelvane::cursorwatch {
namespace {

using testing::GtkTestWindow;
using testing::movePointer;

// Reads state lines until `expected` comes. The pointer moves in one step, so normally
// it is the very next line; on a heavily loaded machine an answer that missed its
// time-out may show as a passing arrow first.
bool settlesOn(testing::ChildProcess& monitor, const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        std::optional<std::string> line = monitor.readStdoutLine(left);
        if (!line) {
            return false;
        }
        if (*line == expected) {
            return true;
        }
    }
}

class AccessibilityDesktopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { window = new GtkTestWindow(); }
    static void TearDownTestSuite() {
        delete window;
        window = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(window->command("focus none")); }

    static bool pointAt(const std::string& widget) {
        testing::WidgetRect r = window->rect(widget);
        return movePointer(r.centerX(), r.centerY());
    }

    std::optional<std::string> matchOver(const std::string& widget) {
        EXPECT_TRUE(pointAt(widget));
        return probe.accessibilityCursorMatch();
    }

    static inline GtkTestWindow* window = nullptr;
    std::unique_ptr<platform::AccessibilityToolkit> toolkit = platform::makeAccessibilityToolkit();
    AccessibilityProbe probe{*toolkit};
};

TEST_F(AccessibilityDesktopTest, PointerOverEachKindOfWidget) {
    EXPECT_EQ(matchOver("entry"), "text");
    EXPECT_EQ(matchOver("enabledButton"), "pointer");
    EXPECT_EQ(matchOver("disabledButton"), "not-allowed");
    EXPECT_EQ(matchOver("link"), "pointer");
    EXPECT_EQ(matchOver("splitterHandle"), "resize-ew");
    EXPECT_EQ(matchOver("crop"), "crosshair");
    EXPECT_EQ(matchOver("plain"), std::nullopt);

    ASSERT_TRUE(movePointer(1900, 1050));
    EXPECT_EQ(probe.accessibilityCursorMatch(), std::nullopt) << "no window under the pointer";
}

TEST_F(AccessibilityDesktopTest, FocusedEntryAnswersWhereverThePointerIs) {
    ASSERT_TRUE(window->command("focus entry"));
    EXPECT_EQ(matchOver("enabledButton"), "text");
    EXPECT_EQ(matchOver("plain"), "text");

    ASSERT_TRUE(window->command("focus enabledButton"));
    EXPECT_EQ(matchOver("plain"), std::nullopt) << "a focused button is no sign of text";
    EXPECT_EQ(matchOver("disabledButton"), "not-allowed");
}

TEST_F(AccessibilityDesktopTest, MonitorReportsTheProbeWhenItKnowsNoCursors) {
    // A theme and search path without any cursor: no known signature can be built, so
    // every poll is answered by the accessibility probe.
    std::string emptyThemes = (std::filesystem::temp_directory_path() / "kelvane-no-cursors-XXXXXX").string();
    ASSERT_NE(mkdtemp(emptyThemes.data()), nullptr);
    setenv("XCURSOR_PATH", emptyThemes.c_str(), 1);
    setenv("XCURSOR_THEME", "kelvane-no-such-theme", 1);

    ASSERT_TRUE(pointAt("plain"));
    std::optional<testing::ExitStatus> status;
    {
        testing::ChildProcess monitor({std::string(KELVANE_BINARY_DIR) + "/cursor-watch/kelvane-cursor-watch"});
        EXPECT_EQ(monitor.readStdoutLine(std::chrono::seconds(20)), "STATE:arrow") << "nothing recognisable under the pointer";

        const std::pair<const char*, const char*> expectations[] = {
            {"entry", "STATE:text"},         {"enabledButton", "STATE:pointer"},
            {"disabledButton", "STATE:not-allowed"}, {"splitterHandle", "STATE:resize-ew"},
            {"crop", "STATE:crosshair"},     {"plain", "STATE:arrow"},
        };
        for (const auto& [widget, expected] : expectations) {
            ASSERT_TRUE(pointAt(widget));
            EXPECT_TRUE(settlesOn(monitor, expected)) << "over " << widget;
        }

        ASSERT_TRUE(monitor.writeLine("stop"));
        EXPECT_EQ(monitor.readStdoutLine(std::chrono::seconds(20)), std::nullopt) << "output ends after stop";
        status = monitor.waitForExit(std::chrono::seconds(20));
    }
    EXPECT_EQ(status, testing::ExitStatus::exitCode(0));
    std::filesystem::remove_all(emptyThemes);
}

TEST_F(AccessibilityDesktopTest, MonitorKeepsPollingPastAFrozenApplication) {
    std::string emptyThemes = (std::filesystem::temp_directory_path() / "kelvane-no-cursors-XXXXXX").string();
    ASSERT_NE(mkdtemp(emptyThemes.data()), nullptr);
    setenv("XCURSOR_PATH", emptyThemes.c_str(), 1);
    setenv("XCURSOR_THEME", "kelvane-no-such-theme", 1);

    ASSERT_TRUE(pointAt("enabledButton"));
    {
        testing::ChildProcess monitor({std::string(KELVANE_BINARY_DIR) + "/cursor-watch/kelvane-cursor-watch"});
        EXPECT_TRUE(settlesOn(monitor, "STATE:pointer"));

        // A frozen application answers nothing: the monitor reports the arrow and goes
        // on polling, and picks the button up again once the application is back.
        ASSERT_EQ(kill(window->pid(), SIGSTOP), 0);
        EXPECT_TRUE(settlesOn(monitor, "STATE:arrow"));
        ASSERT_EQ(kill(window->pid(), SIGCONT), 0);
        EXPECT_TRUE(settlesOn(monitor, "STATE:pointer"));

        ASSERT_TRUE(monitor.writeLine("stop"));
        EXPECT_EQ(monitor.readStdoutLine(std::chrono::seconds(20)), std::nullopt);
    }
    std::filesystem::remove_all(emptyThemes);
}

}  // namespace
}  // namespace kelvane::cursorwatch
