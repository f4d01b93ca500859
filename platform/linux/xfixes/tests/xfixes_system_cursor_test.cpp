#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/standard_cursors.h"
#include "platform/system_cursor.h"
#include "testing/child_process.h"

namespace kelvane::platform {
namespace {

using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using namespace std::chrono_literals;

const std::string windowMakerProgram = KELVANE_BINARY_DIR "/testing/window_maker/kelvane-test-window";

void run(const std::vector<std::string>& argv, const std::string& input = {}) {
    ChildProcess process(argv);
    if (!input.empty()) process.write(input);
    process.closeStdin();
    ASSERT_EQ(process.waitForExit(10s), ExitStatus::exitCode(0)) << argv.front();
}

// Sets DISPLAY for this process while it lives.
class DisplayVariable {
public:
    explicit DisplayVariable(const char* value) {
        if (const char* old = std::getenv("DISPLAY")) saved_ = old;
        if (value) {
            ::setenv("DISPLAY", value, 1);
        } else {
            ::unsetenv("DISPLAY");
        }
    }
    ~DisplayVariable() {
        if (saved_) {
            ::setenv("DISPLAY", saved_->c_str(), 1);
        } else {
            ::unsetenv("DISPLAY");
        }
    }

private:
    std::optional<std::string> saved_;
};

// An extra X server of its own, on whatever display number is free.
class PrivateXServer {
public:
    PrivateXServer() : server_({"Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"}) {
        const auto number = server_.readStdoutLine(15s);
        if (!number) throw std::runtime_error("Xvfb did not start");
        display_ = ":" + *number;
    }
    const std::string& display() const { return display_; }

private:
    ChildProcess server_;
    std::string display_;
};

TEST(XfixesSystemCursor, ReadsTheThemeCursorShownUnderThePointer) {
    // The test window's cursor library takes the theme from this resource.
    const std::string theme = std::getenv("XCURSOR_THEME") ? std::getenv("XCURSOR_THEME") : "Adwaita";
    run({"xrdb", "-nocpp", "-merge"}, "Xcursor.theme: " + theme + "\n");
    ChildProcess maker({windowMakerProgram, "--window", "x=100", "y=100", "w=800", "h=600", "cursor=text"});
    ASSERT_TRUE(maker.readStdoutLine(10s));
    run({"xdotool", "mousemove", "500", "400"});

    const auto expected = makeStandardCursors()->image(StandardCursor::iBeam);
    ASSERT_TRUE(expected);
    const auto shown = makeSystemCursor()->current();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->pointWidth, expected->pointWidth);
    EXPECT_EQ(shown->pointHeight, expected->pointHeight);
    EXPECT_EQ(shown->hotspotX, expected->hotspotX);
    EXPECT_EQ(shown->hotspotY, expected->hotspotY);
    ASSERT_EQ(shown->representations.size(), 1u);
    // Same premultiplied ARGB words, row for row, as the theme file holds.
    EXPECT_EQ(shown->representations.front().pixels, expected->representations.front().pixels);
}

TEST(XfixesSystemCursor, AnswersNothingWithoutAServerAndReconnectsLater) {
    {
        const DisplayVariable none(nullptr);
        EXPECT_FALSE(makeSystemCursor()->current());
    }
    auto server = std::make_unique<PrivateXServer>();
    const DisplayVariable first(server->display().c_str());
    std::unique_ptr<SystemCursor> cursor = makeSystemCursor();
    const auto before = cursor->current();
    ASSERT_TRUE(before);
    EXPECT_GT(before->pointWidth, 0);

    server.reset();  // the connection drops
    EXPECT_FALSE(cursor->current());

    server = std::make_unique<PrivateXServer>();
    const DisplayVariable second(server->display().c_str());
    // Reconnection attempts are spaced out, so give it a few seconds.
    std::optional<CursorImage> after;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!after && std::chrono::steady_clock::now() < deadline) {
        after = cursor->current();
        if (!after) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(after);
    EXPECT_EQ(after->representations.front().pixels, before->representations.front().pixels);
}

}  // namespace
}  // namespace kelvane::platform
