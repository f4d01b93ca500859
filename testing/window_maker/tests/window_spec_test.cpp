#include "testing/window_maker/window_spec.h"

#include <gtest/gtest.h>

namespace kelvane::testing {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandWords, QuotesEscapesAndBlanks) {
    EXPECT_EQ(splitCommandWords("  create   title=\"Mail — Inbox\"\tw=5 "),
              (Words{"create", "title=Mail — Inbox", "w=5"}));
    EXPECT_EQ(splitCommandWords(R"(a\ b "c\"d" e\\f)"), (Words{"a b", "c\"d", "e\\f"}));
    EXPECT_EQ(splitCommandWords(R"(title="" next)"), (Words{"title=", "next"}));
    EXPECT_EQ(splitCommandWords(R"(x=\xff\x41\n)"), (Words{"x=\xff" "A\n"}));
    EXPECT_EQ(splitCommandWords(""), Words{});
}

TEST(SplitCommandWords, BrokenInputIsAnError) {
    EXPECT_THROW(splitCommandWords("title=\"open"), SpecError);
    EXPECT_THROW(splitCommandWords("ends\\"), SpecError);
    EXPECT_THROW(splitCommandWords("x=\\x4"), SpecError);
    EXPECT_THROW(splitCommandWords("x=\\xzz"), SpecError);
}

TEST(ParseWindowSpec, DefaultsDescribeAnOrdinaryAppWindow) {
    WindowSpec spec = parseWindowSpec({});
    EXPECT_FALSE(spec.netWmName);
    EXPECT_FALSE(spec.wmName);
    EXPECT_EQ(spec.wmClassInstance, "kelvane-test-window");
    EXPECT_EQ(spec.wmClassClass, "KelvaneTestWindow");
    EXPECT_TRUE(spec.setPid);
    EXPECT_FALSE(spec.pid);
    EXPECT_EQ(spec.type, WindowType::normal);
    EXPECT_FALSE(spec.above || spec.hidden || spec.sticky || spec.overrideRedirect);
    EXPECT_EQ(spec.content, ContentMode::solid);
}

TEST(ParseWindowSpec, ReadsEverySetting) {
    WindowSpec spec = parseWindowSpec({"title=Ünïcode", "wm-name=legacy", "class=mail,Mail", "gtk-app-id=org.example.Mail",
                                       "kde-desktop-file=mail", "pid=4321", "type=dropdown-menu", "state=above,sticky",
                                       "desktop=2", "override-redirect", "transient-for=77", "x=-20", "y=30", "w=640",
                                       "h=480", "cursor=pointer", "content=moving-box", "color=#A0b1C2", "rate=10",
                                       "flash-ms=50"});
    EXPECT_EQ(spec.netWmName, "Ünïcode");
    EXPECT_EQ(spec.wmName, "legacy");  // the later word wins for WM_NAME only
    EXPECT_EQ(spec.wmClassInstance, "mail");
    EXPECT_EQ(spec.wmClassClass, "Mail");
    EXPECT_EQ(spec.gtkApplicationId, "org.example.Mail");
    EXPECT_EQ(spec.kdeDesktopFile, "mail");
    EXPECT_EQ(spec.pid, 4321u);
    EXPECT_EQ(spec.type, WindowType::dropdownMenu);
    EXPECT_TRUE(spec.above);
    EXPECT_TRUE(spec.sticky);
    EXPECT_FALSE(spec.hidden);
    EXPECT_EQ(spec.desktop, 2u);
    EXPECT_TRUE(spec.overrideRedirect);
    EXPECT_EQ(spec.transientFor, 77u);
    EXPECT_EQ(spec.x, -20);
    EXPECT_EQ(spec.y, 30);
    EXPECT_EQ(spec.width, 640u);
    EXPECT_EQ(spec.height, 480u);
    EXPECT_EQ(spec.cursor, "pointer");
    EXPECT_EQ(spec.content, ContentMode::movingBox);
    EXPECT_EQ(spec.color, 0xa0b1c2u);
    EXPECT_EQ(spec.rate, 10.0);
    EXPECT_EQ(spec.flashMilliseconds, 50u);
}

TEST(ParseWindowSpec, PropertiesCanBeLeftOff) {
    WindowSpec spec = parseWindowSpec({"class=", "pid=none", "state=hidden", "desktop=all", "override-redirect=no"});
    EXPECT_FALSE(spec.wmClassInstance);
    EXPECT_FALSE(spec.wmClassClass);
    EXPECT_FALSE(spec.setPid);
    EXPECT_TRUE(spec.hidden);
    EXPECT_EQ(spec.desktop, 0xFFFFFFFFu);
    EXPECT_FALSE(spec.overrideRedirect);
}

TEST(ParseWindowSpec, RejectsWhatItCannotMake) {
    for (const Words& words : {Words{"title"}, Words{"colour=#ffffff"}, Words{"type=panel"}, Words{"state=shaded"},
                               Words{"w=0"}, Words{"w=12px"}, Words{"x=99999"}, Words{"desktop=-1"},
                               Words{"class=onlyinstance"}, Words{"color=red"}, Words{"color=#12345g"},
                               Words{"content=video"}, Words{"pid=-5"}, Words{"override-redirect=maybe"}}) {
        EXPECT_THROW(parseWindowSpec(words), SpecError) << words.front();
    }
}

}  // namespace
}  // namespace kelvane::testing
