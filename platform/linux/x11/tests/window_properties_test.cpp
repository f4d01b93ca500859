#include "platform/linux/x11/window_properties.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace kelvane::platform::x11 {
namespace {

using namespace std::string_literals;

TEST(TextProperties, Latin1AndUtf8AreDecodedAndBrokenUtf8Repaired) {
    EXPECT_EQ(decodeTextProperty("caf\xE9", true), "caf\xC3\xA9");
    EXPECT_EQ(decodeTextProperty("caf\xC3\xA9", false), "caf\xC3\xA9");
    EXPECT_EQ(decodeTextProperty("bad\xFF", false), "bad\xEF\xBF\xBD");
    EXPECT_EQ(decodeTextProperty("title\0\0"s, false), "title");
}

TEST(TextProperties, WmClassSplitsInstanceAndClass) {
    const auto both = parseWmClass("gedit\0Gedit\0"s);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->instanceName, "gedit");
    EXPECT_EQ(both->className, "Gedit");
    const auto instanceOnly = parseWmClass("lonely"s);
    ASSERT_TRUE(instanceOnly);
    EXPECT_EQ(instanceOnly->instanceName, "lonely");
    EXPECT_EQ(instanceOnly->className, "");
    EXPECT_FALSE(parseWmClass(""));
}

std::optional<std::string> commandNamed(std::int32_t pid) {
    return pid == 42 ? std::optional<std::string>("editor-bin") : std::nullopt;
}

TEST(OwningApplication, NameAndIdentifierFollowTheirFallbacks) {
    EXPECT_FALSE(owningApplication({}, commandNamed));

    ApplicationHints full;
    full.wmClass = WmClass{"gedit", "Gedit"};
    full.processID = 42;
    full.gtkApplicationID = "org.gnome.gedit";
    full.kdeDesktopFile = "org.kde.kate";
    auto application = owningApplication(full, commandNamed);
    ASSERT_TRUE(application);
    EXPECT_EQ(application->applicationName, "Gedit");
    EXPECT_EQ(application->bundleIdentifier, "org.gnome.gedit");
    EXPECT_EQ(application->processID, 42);

    full.gtkApplicationID.reset();
    EXPECT_EQ(owningApplication(full, commandNamed)->bundleIdentifier, "org.kde.kate");
    full.kdeDesktopFile.reset();
    EXPECT_EQ(owningApplication(full, commandNamed)->bundleIdentifier, "gedit");

    ApplicationHints pidOnly;
    pidOnly.processID = 42;
    application = owningApplication(pidOnly, commandNamed);
    ASSERT_TRUE(application);
    EXPECT_EQ(application->applicationName, "editor-bin");
    EXPECT_FALSE(application->bundleIdentifier);

    ApplicationHints emptyClass;
    emptyClass.wmClass = WmClass{"", ""};
    emptyClass.processID = 42;
    application = owningApplication(emptyClass, commandNamed);
    EXPECT_EQ(application->applicationName, "editor-bin");
    EXPECT_FALSE(application->bundleIdentifier);
}

TEST(OwningApplication, CommandNameComesFromProc) {
    const auto own = procCommandName(static_cast<std::int32_t>(getpid()));
    ASSERT_TRUE(own);
    EXPECT_FALSE(own->empty());
    EXPECT_EQ(own->find('\n'), std::string::npos);
    EXPECT_FALSE(procCommandName(0));
    EXPECT_FALSE(procCommandName(-5));
}

TEST(WindowLayer, TypesMapToTheLevelsTheHostKnows) {
    EXPECT_EQ(windowLayer(std::nullopt, false, false), 0);
    EXPECT_EQ(windowLayer(WindowType::normal, false, false), 0);
    EXPECT_EQ(windowLayer(WindowType::dialog, false, false), 0);
    EXPECT_EQ(windowLayer(WindowType::utility, false, false), 0);
    EXPECT_EQ(windowLayer(WindowType::desktop, false, false), -2147483623);
    EXPECT_EQ(windowLayer(WindowType::dock, false, false), 20);
    EXPECT_EQ(windowLayer(WindowType::dropdownMenu, false, false), 101);
    EXPECT_EQ(windowLayer(WindowType::popupMenu, false, false), 101);
    EXPECT_EQ(windowLayer(WindowType::tooltip, false, false), 25);
    EXPECT_EQ(windowLayer(WindowType::notification, false, false), 25);
    EXPECT_EQ(windowLayer(WindowType::normal, true, false), 3);
    // Kept above does not lower a dock, and override-redirect wins over every type.
    EXPECT_EQ(windowLayer(WindowType::dock, true, false), 20);
    EXPECT_EQ(windowLayer(WindowType::normal, false, true), 101);
    EXPECT_EQ(windowLayer(std::nullopt, true, true), 101);
}

TEST(OnScreen, ViewableUnhiddenAndOnTheCurrentDesktop) {
    EXPECT_TRUE(isOnScreen(true, false, 1, 1));
    EXPECT_TRUE(isOnScreen(true, false, kAllDesktops, 1));
    EXPECT_TRUE(isOnScreen(true, false, std::nullopt, 1));
    EXPECT_TRUE(isOnScreen(true, false, 3, std::nullopt));
    EXPECT_FALSE(isOnScreen(true, false, 2, 1));
    EXPECT_FALSE(isOnScreen(true, true, 1, 1));
    EXPECT_FALSE(isOnScreen(false, false, 1, 1));
}

}  // namespace
}  // namespace kelvane::platform::x11
