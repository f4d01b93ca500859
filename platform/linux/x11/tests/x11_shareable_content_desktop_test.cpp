// The X11 backend queried directly on a throwaway desktop with openbox and one monitor.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/shareable_content.h"
#include "testing/child_process.h"

namespace kelvane::platform {
namespace {

using namespace std::chrono_literals;
using kelvane::testing::ChildProcess;

const std::string kWindowMaker = KELVANE_BINARY_DIR "/testing/window_maker/kelvane-test-window";

ShareableContentSnapshot query(bool excludingDesktopWindows, bool onScreenWindowsOnly) {
    std::optional<ShareableContentResult> answer;
    makeShareableContent()->getShareableContent(excludingDesktopWindows, onScreenWindowsOnly,
                                                [&answer](ShareableContentResult result) { answer = result; });
    if (!answer) throw std::runtime_error("the query did not answer");
    if (const auto* error = std::get_if<ShareableContentError>(&*answer)) {
        throw std::runtime_error(error->localizedDescription);
    }
    return std::get<ShareableContentSnapshot>(*answer);
}

const ShareableWindow* find(const ShareableContentSnapshot& content, std::uint32_t id) {
    const auto window = std::ranges::find(content.windows, id, &ShareableWindow::windowID);
    return window == content.windows.end() ? nullptr : &*window;
}

class X11ShareableContentOnDesktop : public ::testing::Test {
protected:
    std::uint32_t create(const std::string& words) {
        maker_.writeLine("create " + words);
        const auto reply = maker_.readStdoutLine(20s);
        EXPECT_TRUE(reply && !reply->empty() && std::isdigit(static_cast<unsigned char>(reply->front())))
            << reply.value_or("(no reply)");
        return reply && !reply->empty() && std::isdigit(static_cast<unsigned char>(reply->front()))
                   ? static_cast<std::uint32_t>(std::stoul(*reply))
                   : 0;
    }

    ChildProcess maker_{{kWindowMaker}};
};

TEST_F(X11ShareableContentOnDesktop, TheScreenIsOneMainDisplayWithPixelsEqualToPoints) {
    const ShareableContentSnapshot content = query(true, true);
    ASSERT_EQ(content.displays.size(), 1u);
    const ShareableDisplay& display = content.displays[0];
    EXPECT_EQ(display.frame, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(display.pixelWidth, 1920u);
    EXPECT_EQ(display.pixelHeight, 1080u);
    EXPECT_EQ(content.mainDisplayID, display.displayID);
}

TEST_F(X11ShareableContentOnDesktop, DesktopWindowsAndOffScreenWindowsFollowTheQueryFlags) {
    const std::uint32_t backdrop = create("title=Backdrop type=desktop x=0 y=0 w=1920 h=1080");
    const std::uint32_t normal = create("title=Normal class=normal,Normal gtk-app-id=org.example.Normal w=300 h=200");
    const std::uint32_t hidden = create("title=Hidden state=hidden w=300 h=200");
    // Withdrawn as an application hiding in the tray does: the window manager lets go of it.
    const std::uint32_t withdrawn = create("title=Withdrawn w=300 h=200");
    maker_.writeLine("withdraw " + std::to_string(withdrawn));
    ASSERT_EQ(maker_.readStdoutLine(20s), "ok");

    const ShareableContentSnapshot everything = query(false, false);
    ASSERT_NE(find(everything, backdrop), nullptr);
    EXPECT_EQ(find(everything, backdrop)->windowLayer, -2147483623);
    ASSERT_NE(find(everything, hidden), nullptr);
    EXPECT_FALSE(find(everything, hidden)->isOnScreen);
    const ShareableWindow* normalWindow = find(everything, normal);
    ASSERT_NE(normalWindow, nullptr);
    EXPECT_TRUE(normalWindow->isOnScreen);
    EXPECT_EQ(normalWindow->windowLayer, 0);
    EXPECT_EQ(normalWindow->title, "Normal");
    EXPECT_EQ(normalWindow->frame.width, 300);
    EXPECT_EQ(normalWindow->frame.height, 200);
    ASSERT_TRUE(normalWindow->owningApplication);
    EXPECT_EQ(normalWindow->owningApplication->applicationName, "Normal");
    EXPECT_EQ(normalWindow->owningApplication->bundleIdentifier, "org.example.Normal");
    EXPECT_EQ(normalWindow->owningApplication->processID, maker_.pid());
    EXPECT_EQ(find(everything, withdrawn), nullptr);
    const auto kept = std::ranges::find(everything.withdrawnWindows, withdrawn, &ShareableWindow::windowID);
    ASSERT_NE(kept, everything.withdrawnWindows.end());
    EXPECT_EQ(kept->title, "Withdrawn");
    EXPECT_EQ(kept->frame.width, 300);
    EXPECT_FALSE(kept->isOnScreen);
    EXPECT_EQ(findWindow(everything, withdrawn), &*kept);
    for (const std::uint32_t shown : {normal, hidden}) {
        EXPECT_EQ(std::ranges::find(everything.withdrawnWindows, shown, &ShareableWindow::windowID),
                  everything.withdrawnWindows.end());
    }

    const ShareableContentSnapshot withoutDesktop = query(true, false);
    EXPECT_EQ(find(withoutDesktop, backdrop), nullptr);
    EXPECT_NE(find(withoutDesktop, hidden), nullptr);

    const ShareableContentSnapshot onScreen = query(true, true);
    EXPECT_EQ(find(onScreen, hidden), nullptr);
    EXPECT_TRUE(onScreen.withdrawnWindows.empty());
    EXPECT_NE(find(onScreen, normal), nullptr);
}

}  // namespace
}  // namespace kelvane::platform
