#include "windows/window_list_entry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "common/json_writer.h"

namespace kelvane::windows {
namespace {

using platform::Rect;

const std::string kEmDash = " \xE2\x80\x94 ";

WindowListEntry entryFor(std::uint32_t id, std::optional<std::string_view> appName,
                         std::optional<std::string_view> title, Rect frame = {0, 0, 100, 100}) {
    return makeWindowListEntry(id, normalize(appName), normalize(title), std::nullopt, frame, 1);
}

std::vector<std::uint32_t> idsOf(const std::vector<WindowListEntry>& entries) {
    std::vector<std::uint32_t> ids;
    for (const auto& entry : entries) ids.push_back(static_cast<std::uint32_t>(std::stoul(entry.id.substr(7))));
    return ids;
}

TEST(WindowListEntryForming, NameJoinsApplicationAndTitleAndFallsBackToEither) {
    const WindowListEntry both = entryFor(52, "Editor", "  Report\n");
    EXPECT_EQ(both.id, "window:52:0");
    EXPECT_EQ(both.name, "Editor" + kEmDash + "Report");
    EXPECT_EQ(both.windowTitle, "Report");
    EXPECT_EQ(both.appName, "Editor");

    const WindowListEntry blankTitle = entryFor(1, "Editor", "   ");
    EXPECT_EQ(blankTitle.name, "Editor");
    EXPECT_EQ(blankTitle.windowTitle, "Editor");

    const WindowListEntry noApplication = entryFor(2, std::nullopt, "Mail");
    EXPECT_EQ(noApplication.name, "Mail");
    EXPECT_EQ(noApplication.windowTitle, "Mail");
    EXPECT_FALSE(noApplication.appName.has_value());
}

TEST(WindowListEntryForming, IdentifiersAreDecimalAndMissingDisplayIsEmpty) {
    const auto entry = makeWindowListEntry(4294967295u, std::string("A"), std::nullopt, std::nullopt,
                                           Rect{0, 0, 100, 100}, std::nullopt);
    EXPECT_EQ(entry.id, "window:4294967295:0");
    EXPECT_EQ(entry.display_id, "");
    const auto onDisplay = makeWindowListEntry(7, std::string("A"), std::nullopt, std::nullopt,
                                               Rect{0, 0, 100, 100}, 69733378u);
    EXPECT_EQ(onDisplay.display_id, "69733378");
}

TEST(WindowListEntryForming, SizeIsStandardisedWhileOriginIsKeptAsReported) {
    const WindowListEntry entry = entryFor(3, "A", "T", Rect{10.5, -20, -300, -200});
    EXPECT_EQ(entry.x, 10.5);
    EXPECT_EQ(entry.y, -20);
    EXPECT_EQ(entry.width, 300);
    EXPECT_EQ(entry.height, 200);
}

TEST(Normalize, TrimsEveryUnicodeWhiteSpaceButKeepsInnerSpace) {
    EXPECT_EQ(normalize(std::string_view("\t\r\n Report  draft \n")), "Report  draft");
    // U+2028 line separator, U+00A0 no-break space, U+3000 ideographic space.
    EXPECT_EQ(normalize(std::string_view("\xE2\x80\xA8\xC2\xA0Notes\xE3\x80\x80")), "Notes");
    EXPECT_FALSE(normalize(std::string_view(" \xE2\x80\xA9\t")).has_value());
    EXPECT_FALSE(normalize(std::string_view("")).has_value());
    EXPECT_FALSE(normalize(std::nullopt).has_value());
}

TEST(WindowListOrdering, GroupsByApplicationCaseInsensitively) {
    std::vector<WindowListEntry> entries = {entryFor(1, "Beta", "x"), entryFor(2, "alpha", "y"),
                                            entryFor(3, "Gamma", "z")};
    orderWindowListEntries(entries);
    EXPECT_EQ(idsOf(entries), (std::vector<std::uint32_t>{2, 1, 3}));
}

TEST(WindowListOrdering, WithinOneApplicationTitlesOrderAndTiesKeepIncomingOrder) {
    std::vector<WindowListEntry> entries = {entryFor(1, "App", "B"), entryFor(2, "App", "a"),
                                            entryFor(3, "App", "same"), entryFor(4, "App", "Same"),
                                            entryFor(5, "App", "same")};
    orderWindowListEntries(entries);
    EXPECT_EQ(idsOf(entries), (std::vector<std::uint32_t>{2, 1, 3, 4, 5}));
}

TEST(WindowListOrdering, ApplicationsDifferingOnlyInCaseKeepIncomingOrderWithoutLookingAtTitles) {
    std::vector<WindowListEntry> entries = {entryFor(4, "notes", "B"), entryFor(5, "Notes", "A"),
                                            entryFor(6, "NOTES", "0")};
    orderWindowListEntries(entries);
    EXPECT_EQ(idsOf(entries), (std::vector<std::uint32_t>{4, 5, 6}));
}

TEST(WindowListOrdering, WindowsWithoutApplicationGroupUnderTheirTitle) {
    std::vector<WindowListEntry> entries = {entryFor(1, "Zeta", "z"), entryFor(2, std::nullopt, "mail"),
                                            entryFor(3, "Alpha", "a")};
    orderWindowListEntries(entries);
    EXPECT_EQ(idsOf(entries), (std::vector<std::uint32_t>{3, 2, 1}));
}

TEST(WindowListOrdering, CanonicallyEquivalentApplicationNamesAreOneApplication) {
    // "Café" precomposed and with a combining acute accent.
    std::vector<WindowListEntry> entries = {entryFor(1, "Caf\xC3\xA9", "b"), entryFor(2, "Cafe\xCC\x81", "a")};
    orderWindowListEntries(entries);
    EXPECT_EQ(idsOf(entries), (std::vector<std::uint32_t>{2, 1}));
}

TEST(WindowListOrdering, ManyMixedCaseEntriesComeOutAsAPermutation) {
    // The rule is not a strict weak order when case variants meet; sorting must still
    // neither lose nor duplicate an entry.
    std::mt19937 random(7);
    const std::vector<std::string> apps = {"Notes", "notes", "NOTES", "Mail", "mail", "Zed"};
    const std::vector<std::string> titles = {"a", "B", "c", "D", "e"};
    std::vector<WindowListEntry> entries;
    for (std::uint32_t id = 0; id < 500; ++id) {
        entries.push_back(entryFor(id, apps[random() % apps.size()], titles[random() % titles.size()]));
    }
    orderWindowListEntries(entries);
    auto ids = idsOf(entries);
    std::ranges::sort(ids);
    for (std::uint32_t id = 0; id < 500; ++id) ASSERT_EQ(ids[id], id);
}

TEST(WindowListEncoding, WritesSortedKeysCompactlyWithEscapedSolidusAndRawUtf8) {
    WindowListEntry entry = makeWindowListEntry(52, std::string("Editor"), std::string("~/docs/r\xC3\xA9sum\xC3\xA9 \"1\""),
                                                std::string("org.example.Editor"), Rect{0, 25.5, 900, 600}, 1);
    EXPECT_EQ(encodeWindowList({entry}),
              "[{\"appName\":\"Editor\",\"bundleId\":\"org.example.Editor\",\"display_id\":\"1\",\"height\":600,"
              "\"id\":\"window:52:0\",\"name\":\"Editor \xE2\x80\x94 ~\\/docs\\/r\xC3\xA9sum\xC3\xA9 \\\"1\\\"\","
              "\"width\":900,\"windowTitle\":\"~\\/docs\\/r\xC3\xA9sum\xC3\xA9 \\\"1\\\"\",\"x\":0,\"y\":25.5}]");
}

TEST(WindowListEncoding, LeavesOutAbsentKeysAndWritesEmptyDisplayAsEmptyString) {
    const auto entry = makeWindowListEntry(9, std::nullopt, std::string("T"), std::nullopt,
                                           Rect{-1920, 0, 0.1, 1e-05}, std::nullopt);
    EXPECT_EQ(encodeWindowList({entry, entry}),
              "[{\"display_id\":\"\",\"height\":1e-05,\"id\":\"window:9:0\",\"name\":\"T\",\"width\":0.1,"
              "\"windowTitle\":\"T\",\"x\":-1920,\"y\":0},"
              "{\"display_id\":\"\",\"height\":1e-05,\"id\":\"window:9:0\",\"name\":\"T\",\"width\":0.1,"
              "\"windowTitle\":\"T\",\"x\":-1920,\"y\":0}]");
}

TEST(WindowListEncoding, EmptyListIsTwoCharacters) { EXPECT_EQ(encodeWindowList({}), "[]"); }

TEST(WindowListEncoding, NonFiniteCoordinateFailsTheWholeEncoding) {
    for (const double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()}) {
        const auto good = entryFor(1, "A", "T");
        auto broken = entryFor(2, "B", "T");
        broken.y = bad;
        EXPECT_THROW(encodeWindowList({good, broken}), common::JsonEncodeError);
    }
}

}  // namespace
}  // namespace kelvane::windows
