#include <gtest/gtest.h>

#include "platform/linux/atspi/atspi_role_mapping.h"
#include "platform/linux/atspi/unresponsive_applications.h"

namespace kelvane::platform::atspi {
namespace {

TEST(AtspiRoleMapping, RolesTheCursorRulesKnow) {
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_ENTRY).role, "AXTextField");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_PASSWORD_TEXT).role, "AXTextField");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_PASSWORD_TEXT).subrole, "AXSecureTextField");
    for (AtspiRole role : {ATSPI_ROLE_TEXT, ATSPI_ROLE_PARAGRAPH, ATSPI_ROLE_DOCUMENT_TEXT}) {
        EXPECT_EQ(axRoleFor(role).role, "AXTextArea") << role;
    }
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_COMBO_BOX).role, "AXComboBox");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_PUSH_BUTTON).role, "AXButton");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_PUSH_BUTTON).subrole, std::nullopt);
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_TOGGLE_BUTTON).role, "AXButton");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_LINK).role, "AXLink");
    for (AtspiRole role : {ATSPI_ROLE_MENU_ITEM, ATSPI_ROLE_CHECK_MENU_ITEM, ATSPI_ROLE_RADIO_MENU_ITEM}) {
        EXPECT_EQ(axRoleFor(role).role, "AXMenuItem") << role;
    }
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_RADIO_BUTTON).role, "AXRadioButton");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_CHECK_BOX).role, "AXCheckBox");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_PAGE_TAB_LIST).role, "AXTabGroup");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_SPLIT_PANE).role, "AXSplitter");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_SEPARATOR).role, "AXSplitter");
}

TEST(AtspiRoleMapping, OtherRolesInUpperCamelCase) {
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_DRAWING_AREA).role, "AXDrawingArea");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_FRAME).role, "AXFrame");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_SCROLL_BAR).role, "AXScrollBar");
    EXPECT_EQ(axRoleFor(ATSPI_ROLE_PAGE_TAB).role, "AXPageTab");
}

TEST(AtspiRoleMapping, PressActions) {
    for (const char* name : {"click", "press", "activate", "push", "Click"}) {
        EXPECT_TRUE(isPressAction(name)) << name;
    }
    for (const char* name : {"", "toggle", "clicks", "expand or contract", "jump"}) {
        EXPECT_FALSE(isPressAction(name)) << name;
    }
}

TEST(UnresponsiveApplications, OnlyACallThatReachedTheTimeOutWithoutAnAnswerQuarantines) {
    using namespace std::chrono_literals;
    UnresponsiveApplications tracker(100ms, 2s);
    auto start = UnresponsiveApplications::Clock::time_point{} + 1h;

    EXPECT_FALSE(tracker.recordCall(":1.5", false, 30ms, start));
    EXPECT_FALSE(tracker.recordCall(":1.5", false, 99ms, start));
    EXPECT_FALSE(tracker.recordCall(":1.5", true, 100ms, start)) << "a slow answer is still an answer";
    EXPECT_FALSE(tracker.recordCall(":1.5", true, 900ms, start));
    EXPECT_FALSE(tracker.isQuarantined(":1.5", start));

    EXPECT_TRUE(tracker.recordCall(":1.5", false, 100ms, start));
    EXPECT_TRUE(tracker.isQuarantined(":1.5", start + 1s));
    EXPECT_FALSE(tracker.isQuarantined(":1.6", start + 1s)) << "other applications are unaffected";
    EXPECT_FALSE(tracker.isQuarantined(":1.5", start + 2s)) << "the quarantine ends";
    EXPECT_FALSE(tracker.isQuarantined(":1.5", start + 2s + 1ms));
}

}  // namespace
}  // namespace kelvane::platform::atspi
