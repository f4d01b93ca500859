#include "platform/linux/session/display_session.h"

#include <gtest/gtest.h>

namespace kelvane::platform::session {
namespace {

TEST(DisplaySession, WaylandWhenTheSessionNamesADisplayOrSaysSo) {
    struct Case {
        const char* waylandDisplay;
        const char* sessionType;
        DisplaySession expected;
    };
    const Case cases[] = {
        {"wayland-0", nullptr, DisplaySession::wayland},
        {"/run/user/1000/wayland-1", "x11", DisplaySession::wayland},  // Xwayland beside it
        {nullptr, "wayland", DisplaySession::wayland},                  // the default socket
        {"", "wayland", DisplaySession::wayland},
        {nullptr, nullptr, DisplaySession::x11},
        {"", "", DisplaySession::x11},
        {"", "x11", DisplaySession::x11},
        {nullptr, "tty", DisplaySession::x11},
        {nullptr, "Wayland", DisplaySession::x11},  // the variable's values are lower case
    };
    for (const Case& c : cases) {
        EXPECT_EQ(displaySessionFor(c.waylandDisplay, c.sessionType), c.expected)
            << (c.waylandDisplay ? c.waylandDisplay : "(unset)") << " / " << (c.sessionType ? c.sessionType : "(unset)");
    }
}

}  // namespace
}  // namespace kelvane::platform::session
