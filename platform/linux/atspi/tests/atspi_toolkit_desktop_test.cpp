// The AT-SPI toolkit against a real GTK window on the throwaway desktop.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/accessibility.h"
#include "testing/gtk_test_window/gtk_test_window.h"

namespace kelvane::platform {
namespace {

using testing::GtkTestWindow;
using testing::movePointer;
using testing::shellOutput;

// GTK 3 gives its entries the plain text role, other toolkits the entry role.
bool isTextRole(const std::optional<std::string>& role) {
    return role == "AXTextField" || role == "AXTextArea";
}

class AtspiToolkitDesktopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { window = new GtkTestWindow(); }
    static void TearDownTestSuite() {
        delete window;
        window = nullptr;
    }

    // A focus change reaches the accessibility bus a little after GTK made it, so the
    // focused element is read until it has the expected presence or a few seconds pass.
    AccessibleElement focusedElementOnceSettled(bool expectOne) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        AccessibleElement focused = toolkit->focusedElement();
        while ((focused != nullptr) != expectOne && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            focused = toolkit->focusedElement();
        }
        return focused;
    }

    AccessibleElement elementAtCenterOf(const std::string& widget) {
        testing::WidgetRect r = window->rect(widget);
        return toolkit->elementAtPosition({static_cast<double>(r.centerX()), static_cast<double>(r.centerY())});
    }

    static inline GtkTestWindow* window = nullptr;
    std::unique_ptr<AccessibilityToolkit> toolkit = makeAccessibilityToolkit();
};

TEST_F(AtspiToolkitDesktopTest, PointerPositionComesFromX) {
    ASSERT_TRUE(movePointer(321, 234));
    std::optional<ScreenPoint> pointer = toolkit->pointerPosition();
    ASSERT_TRUE(pointer.has_value());
    EXPECT_EQ(pointer->x, 321);
    EXPECT_EQ(pointer->y, 234);
}

TEST_F(AtspiToolkitDesktopTest, HitTestFindsTheDeepestWidgetWithItsAttributes) {
    AccessibleElement entry = elementAtCenterOf("entry");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(isTextRole(toolkit->attributeString(entry, "AXRole")));
    EXPECT_EQ(toolkit->attributeBool(entry, "AXEditable"), true);
    EXPECT_TRUE(toolkit->hasAttribute(entry, "AXNumberOfCharacters"));

    AccessibleElement save = elementAtCenterOf("enabledButton");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(toolkit->attributeString(save, "AXRole"), "AXButton");
    EXPECT_EQ(toolkit->attributeString(save, "AXTitle"), "Save");
    EXPECT_EQ(toolkit->attributeBool(save, "AXEnabled"), true);
    EXPECT_EQ(toolkit->attributeBool(save, "AXEditable"), false);
    EXPECT_TRUE(toolkit->hasAttribute(save, "AXEnabled"));
    EXPECT_FALSE(toolkit->hasAttribute(save, "AXSelectedTextRange"));
    std::vector<std::string> actions = toolkit->actionNames(save);
    EXPECT_NE(std::find(actions.begin(), actions.end(), "AXPress"), actions.end());
    EXPECT_EQ(toolkit->attributeString(save, "AXHelp"), std::nullopt);
    EXPECT_EQ(toolkit->attributeString(save, "AXNoSuchAttribute"), std::nullopt);

    AccessibleElement del = elementAtCenterOf("disabledButton");
    ASSERT_NE(del, nullptr);
    EXPECT_EQ(toolkit->attributeString(del, "AXTitle"), "Delete");
    EXPECT_EQ(toolkit->attributeBool(del, "AXEnabled"), false);

    AccessibleElement handle = elementAtCenterOf("splitterHandle");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(toolkit->attributeString(handle, "AXRole"), "AXSplitter");

    AccessibleElement crop = elementAtCenterOf("crop");
    ASSERT_NE(crop, nullptr);
    EXPECT_EQ(toolkit->attributeString(crop, "AXDescription"), "Crop the picture");
    EXPECT_EQ(toolkit->attributeString(crop, "AXRole"), "AXDrawingArea");
    EXPECT_TRUE(toolkit->attributeString(crop, "AXRoleDescription").has_value());

    EXPECT_EQ(toolkit->elementAtPosition({1900, 1000}), nullptr) << "no window there";
}

TEST_F(AtspiToolkitDesktopTest, ParentsLeadToTheWindowAndStopAtTheApplication) {
    AccessibleElement element = elementAtCenterOf("enabledButton");
    ASSERT_NE(element, nullptr);
    std::vector<std::string> roles;
    for (int i = 0; element != nullptr && i < 10; ++i) {
        roles.push_back(toolkit->attributeString(element, "AXRole").value_or("?"));
        element = toolkit->parentElement(element);
    }
    ASSERT_GE(roles.size(), 3u);
    EXPECT_EQ(roles.front(), "AXButton");
    EXPECT_EQ(roles[roles.size() - 2], "AXFrame");
    EXPECT_EQ(roles.back(), "AXApplication");
}

TEST_F(AtspiToolkitDesktopTest, FocusedElementIsReadAfreshEachTime) {
    ASSERT_TRUE(window->command("focus none"));
    EXPECT_EQ(focusedElementOnceSettled(false), nullptr);

    ASSERT_TRUE(window->command("focus entry"));
    AccessibleElement focused = focusedElementOnceSettled(true);
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(isTextRole(toolkit->attributeString(focused, "AXRole")));

    ASSERT_TRUE(window->command("focus enabledButton"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        focused = focusedElementOnceSettled(true);
    } while (toolkit->attributeString(focused, "AXTitle") != "Save" && std::chrono::steady_clock::now() < deadline);
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(toolkit->attributeString(focused, "AXTitle"), "Save");

    ASSERT_TRUE(window->command("focus none"));
    EXPECT_EQ(focusedElementOnceSettled(false), nullptr);
}

TEST_F(AtspiToolkitDesktopTest, TopmostWindowWinsOverTheActiveOneBelowIt) {
    GtkTestWindow second("Second test window");
    std::string first = std::to_string(window->xid());
    // The first window active, the second raised above it without taking the focus.
    ASSERT_EQ(std::system(("xdotool windowactivate --sync " + first + " 2>/dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("xdotool windowraise " + std::to_string(second.xid())).c_str()), 0);
    ASSERT_EQ(shellOutput("xdotool getactivewindow"), first + "\n") << "the scenario needs the first window active";
    testing::WidgetRect shared = second.rect("enabledButton");
    ASSERT_EQ(window->rect("enabledButton").centerX(), shared.centerX()) << "the windows must overlap here";

    AccessibleElement element = toolkit->elementAtPosition({double(shared.centerX()), double(shared.centerY())});
    std::optional<std::string> frameTitle;
    for (int i = 0; element != nullptr && i < 10; ++i) {
        if (toolkit->attributeString(element, "AXRole") == "AXFrame") {
            frameTitle = toolkit->attributeString(element, "AXTitle");
        }
        element = toolkit->parentElement(element);
    }
    EXPECT_EQ(frameTitle, "Second test window");
}

TEST_F(AtspiToolkitDesktopTest, FrozenApplicationAnswersAbsentWithoutStalling) {
    AccessibleElement save = elementAtCenterOf("enabledButton");
    ASSERT_NE(save, nullptr);
    ASSERT_EQ(kill(window->pid(), SIGSTOP), 0);

    auto started = std::chrono::steady_clock::now();
    std::optional<std::string> title = toolkit->attributeString(save, "AXTitle");
    std::optional<bool> enabled = toolkit->attributeBool(save, "AXEnabled");
    std::vector<std::string> actions = toolkit->actionNames(save);
    AccessibleElement parent = toolkit->parentElement(save);
    AccessibleElement hit = elementAtCenterOf("enabledButton");
    AccessibleElement focused = toolkit->focusedElement();
    auto took = std::chrono::steady_clock::now() - started;

    ASSERT_EQ(kill(window->pid(), SIGCONT), 0);
    EXPECT_EQ(title, std::nullopt);
    EXPECT_EQ(enabled, std::nullopt);
    EXPECT_TRUE(actions.empty());
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(hit, nullptr);
    EXPECT_EQ(focused, nullptr);
    // Six reads against a frozen application: one time-out, the rest skipped. Far
    // below what six full time-outs (or the bus default of many seconds) would take.
    EXPECT_LT(took, std::chrono::milliseconds(550));
}

}  // namespace
}  // namespace kelvane::platform
