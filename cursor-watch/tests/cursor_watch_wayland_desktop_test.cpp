// The built monitor in a Wayland session with no X server: no cursor image can be
// read there, so it reports "arrow" and what the accessibility fallback can tell from
// the focused element, and never an error.
#include <chrono>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "testing/child_process.h"
#include "testing/gtk_test_window/gtk_test_window.h"

namespace kelvane::cursorwatch {
namespace {

using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::GtkTestWindow;
using namespace std::chrono_literals;

const std::string monitorProgram = KELVANE_BINARY_DIR "/cursor-watch/kelvane-cursor-watch";
constexpr auto lineTimeout = 5s;

TEST(CursorWatchOnWayland, ArrowUntilATextFieldHasFocusAndNothingOnStandardError) {
    ASSERT_EQ(std::getenv("DISPLAY"), nullptr);
    ChildProcess monitor({monitorProgram});
    EXPECT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");

    GtkTestWindow window("Kelvane Wayland focus window");
    ASSERT_TRUE(window.command("focus entry"));
    EXPECT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:text");
    ASSERT_TRUE(window.command("focus enabledButton"));
    EXPECT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");

    monitor.writeLine("stop");
    EXPECT_EQ(monitor.waitForExit(lineTimeout), ExitStatus::exitCode(0));
    EXPECT_EQ(monitor.readStdoutToEnd(1s), "");
    EXPECT_EQ(monitor.readStderrToEnd(1s), "");
}

}  // namespace
}  // namespace kelvane::cursorwatch
