// The built monitor as the host runs it, inside a throwaway desktop: a test window shows
// each standard cursor under the pointer and the monitor must name it.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cursor-watch/tests/image_line_decoding.h"
#include "testing/child_process.h"
#include "testing/stuck_x_server.h"

namespace kelvane::cursorwatch {
namespace {

using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::SpawnOptions;
using namespace std::chrono_literals;

const std::string monitorProgram = KELVANE_BINARY_DIR "/cursor-watch/kelvane-cursor-watch";
const std::string windowMakerProgram = KELVANE_BINARY_DIR "/testing/window_maker/kelvane-test-window";

// Long enough for a loaded machine; a poll comes every 50 ms.
constexpr auto lineTimeout = 5s;
// How long to listen to be fairly sure that nothing more is printed (many polls).
constexpr auto quietPeriod = 400ms;

SpawnOptions withTheme(const std::string& theme, const std::string& size = "24") {
    SpawnOptions options;
    options.setEnvironment = {{"XCURSOR_THEME", theme}, {"XCURSOR_SIZE", size}};
    return options;
}

void movePointer(int x, int y) {
    ChildProcess mover({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
    ASSERT_EQ(mover.waitForExit(lineTimeout), ExitStatus::exitCode(0));
}

// Sets the Xcursor.theme resource for as long as it lives, then puts back the desktop's
// own theme: the test window's cursor library takes its theme from that resource rather
// than from the environment.
class ThemeResource {
public:
    explicit ThemeResource(const std::string& theme) { merge(theme); }
    ~ThemeResource() {
        const char* desktopTheme = std::getenv("XCURSOR_THEME");
        merge(desktopTheme != nullptr ? desktopTheme : "Adwaita");
    }

private:
    static void merge(const std::string& theme) {
        ChildProcess xrdb({"xrdb", "-nocpp", "-merge"});
        xrdb.writeLine("Xcursor.theme: " + theme);
        xrdb.closeStdin();
        EXPECT_EQ(xrdb.waitForExit(lineTimeout), ExitStatus::exitCode(0));
    }
};

struct ShownCursor {
    const char* themeName;  // the name the test window asks its theme for
    const char* expected;   // what the monitor must report for it
};

// A window covering most of the screen with the pointer inside it, whose cursor the
// test sets by theme name.
class CursorWindow {
public:
    explicit CursorWindow(const std::string& theme, const std::string& size = "24")
        : maker_({windowMakerProgram, "--window", "x=100", "y=100", "w=1600", "h=850", "title=cursor-test"},
                 withTheme(theme, size)) {
        const auto id = maker_.readStdoutLine(10s);
        if (!id || id->empty() || id->front() == 'e') throw std::runtime_error("test window not made");
        id_ = *id;
    }

    void show(const std::string& themeName) {
        ASSERT_TRUE(maker_.writeLine("cursor " + id_ + " " + themeName));
        ASSERT_EQ(maker_.readStdoutLine(lineTimeout), "ok") << themeName;
        // The server re-reads the cursor under the pointer when the pointer moves.
        nudge_ = !nudge_;
        movePointer(nudge_ ? 901 : 900, 500);
    }

private:
    ChildProcess maker_;
    std::string id_;
    bool nudge_ = false;
};

// A theme and, for each candidate in matching order, the name the theme-cursor backend
// finds first and what it is reported as.
struct ThemeCandidates {
    const char* theme;
    std::vector<ShownCursor> candidates;
};

void PrintTo(const ThemeCandidates& named, std::ostream* out) { *out << named.theme; }

class FirstFoundNames : public ::testing::TestWithParam<ThemeCandidates> {};

TEST_P(FirstFoundNames, NameEveryCandidate) {
    const std::string theme = GetParam().theme;
    const std::vector<ShownCursor>& candidates = GetParam().candidates;
    const ThemeResource resource(theme);
    CursorWindow window(theme);
    movePointer(900, 500);
    ChildProcess monitor({monitorProgram}, withTheme(theme));

    // Before any cursor is set the window shows the pointer the window manager gave it.
    std::string current = "arrow";
    ASSERT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");
    for (const ShownCursor& shown : candidates) {
        SCOPED_TRACE(std::string(theme) + " " + shown.themeName);
        window.show(shown.themeName);
        if (shown.expected != current) {
            EXPECT_EQ(monitor.readStdoutLine(lineTimeout), std::string("STATE:") + shown.expected);
            current = shown.expected;
        }
        // One line per change and no more, also when the kind stayed the same.
        EXPECT_EQ(monitor.readStdoutLine(quietPeriod), std::nullopt);
    }
    monitor.writeLine("stop");
    EXPECT_EQ(monitor.waitForExit(lineTimeout), ExitStatus::exitCode(0));
    EXPECT_EQ(monitor.readStderrToEnd(1s), "");
}

INSTANTIATE_TEST_SUITE_P(CursorWatchDesktop, FirstFoundNames,
                         ::testing::Values(ThemeCandidates{"Adwaita",
                                                           {
                                                               {"left_ptr", "arrow"},
                                                               {"text", "text"},
                                                               {"pointer", "pointer"},
                                                               {"copy", "pointer"},
                                                               {"alias", "pointer"},
                                                               {"context-menu", "pointer"},
                                                               {"crosshair", "crosshair"},
                                                               {"grab", "open-hand"},
                                                               {"grabbing", "closed-hand"},
                                                               {"w-resize", "resize-ew"},
                                                               {"e-resize", "resize-ew"},
                                                               {"ew-resize", "resize-ew"},
                                                               {"n-resize", "resize-ns"},
                                                               {"s-resize", "resize-ns"},
                                                               {"ns-resize", "resize-ns"},
                                                               {"not-allowed", "not-allowed"},
                                                               {"vertical-text", "text"},
                                                           }},
                                           ThemeCandidates{"DMZ-White",
                                                           {
                                                               {"left_ptr", "arrow"},
                                                               {"xterm", "text"},
                                                               {"hand2", "pointer"},
                                                               {"copy", "pointer"},
                                                               {"dnd-link", "pointer"},
                                                               {"context-menu", "pointer"},
                                                               {"crosshair", "crosshair"},
                                                               // This theme's open hand is the pointing
                                                               // hand's very image; the earlier candidate
                                                               // wins the tie.
                                                               {"hand1", "pointer"},
                                                               {"grabbing", "closed-hand"},
                                                               {"left_side", "resize-ew"},
                                                               {"right_side", "resize-ew"},
                                                               {"sb_h_double_arrow", "resize-ew"},
                                                               {"top_side", "resize-ns"},
                                                               {"bottom_side", "resize-ns"},
                                                               {"sb_v_double_arrow", "resize-ns"},
                                                               {"crossed_circle", "not-allowed"},
                                                               {"vertical-text", "text"},
                                                           }}),
                         [](const auto& testCase) {
                             return std::string(testCase.param.theme) == "Adwaita" ? "Adwaita" : "DmzWhite";
                         });

// Every candidate by its theme names, first found first, and what it is reported as.
struct Candidate {
    std::vector<const char*> themeNames;
    const char* expected;
};
const std::vector<Candidate> candidates = {
    {{"text", "xterm"}, "text"},
    {{"pointer", "hand2"}, "pointer"},
    {{"copy", "dnd-copy"}, "pointer"},
    {{"alias", "dnd-link"}, "pointer"},
    {{"context-menu"}, "pointer"},
    {{"crosshair", "cross"}, "crosshair"},
    {{"grab", "openhand", "hand1"}, "open-hand"},
    {{"grabbing", "closedhand"}, "closed-hand"},
    {{"w-resize", "left_side"}, "resize-ew"},
    {{"e-resize", "right_side"}, "resize-ew"},
    {{"ew-resize", "col-resize", "sb_h_double_arrow"}, "resize-ew"},
    {{"n-resize", "top_side"}, "resize-ns"},
    {{"s-resize", "bottom_side"}, "resize-ns"},
    {{"ns-resize", "row-resize", "sb_v_double_arrow"}, "resize-ns"},
    {{"not-allowed", "crossed_circle"}, "not-allowed"},
    {{"vertical-text"}, "text"},
};

struct PackagedTheme {
    const char* theme;
    // Cursors this theme draws with the very outline of an earlier candidate, which
    // wins the tie: its open hand is its pointing hand, or its menu arrow is the arrow
    // with a mark inside.
    std::map<std::string, std::string> ties;
};

void PrintTo(const PackagedTheme& packaged, std::ostream* out) { *out << packaged.theme; }

class PackagedThemes : public ::testing::TestWithParam<PackagedTheme> {};

// The window shows the theme at 32 pixels, the monitor reads it at 24 by default: each
// cursor is named from the theme's own drawing of the size on screen. Between two
// candidates the window shows the arrow, so every candidate is a change to report.
TEST_P(PackagedThemes, EveryCursorTheThemeHasIsNamedAtAnotherSizeToo) {
    const PackagedTheme& packaged = GetParam();
    const std::string folder = std::string("/usr/share/icons/") + packaged.theme + "/cursors/";
    auto exists = [&](const char* name) { return ::access((folder + name).c_str(), R_OK) == 0; };
    ASSERT_TRUE(exists("left_ptr")) << packaged.theme << " is not installed (scripts/debian-packages.txt lists it)";

    const ThemeResource resource(packaged.theme);
    CursorWindow window(packaged.theme, "32");
    movePointer(900, 500);
    ChildProcess monitor({monitorProgram}, withTheme(packaged.theme));
    ASSERT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");
    for (const Candidate& candidate : candidates) {
        const auto name = std::find_if(candidate.themeNames.begin(), candidate.themeNames.end(), exists);
        if (name == candidate.themeNames.end()) continue;
        SCOPED_TRACE(std::string(packaged.theme) + " " + *name);
        const auto tie = packaged.ties.find(*name);
        const std::string expected = tie != packaged.ties.end() ? tie->second : candidate.expected;
        window.show(*name);
        if (expected == "arrow") {
            EXPECT_EQ(monitor.readStdoutLine(quietPeriod), std::nullopt);
            continue;
        }
        EXPECT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:" + expected);
        window.show("left_ptr");
        EXPECT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");
    }
    monitor.writeLine("stop");
    EXPECT_EQ(monitor.waitForExit(lineTimeout), ExitStatus::exitCode(0));
}

// One theme of each Debian package of cursor themes.
INSTANTIATE_TEST_SUITE_P(
    CursorWatchDesktop, PackagedThemes,
    ::testing::Values(PackagedTheme{"Adwaita", {}}, PackagedTheme{"DMZ-White", {{"hand1", "pointer"}}},
                      PackagedTheme{"Bibata-Modern-Classic", {}},
                      PackagedTheme{"breeze_cursors", {{"context-menu", "arrow"}}},
                      PackagedTheme{"Chameleon-Pearl-Regular", {}}, PackagedTheme{"ComixCursors-White", {}},
                      PackagedTheme{"ComixCursors-LH-Opaque-Black", {}}, PackagedTheme{"crystalblue", {{"hand1", "pointer"}}},
                      PackagedTheme{"oxy-white", {}}, PackagedTheme{"Paper", {{"hand1", "pointer"}}},
                      PackagedTheme{"redglass", {}}, PackagedTheme{"whiteglass", {}}, PackagedTheme{"handhelds", {}}),
    [](const auto& testCase) {
        std::string name;
        for (const char c : std::string(testCase.param.theme)) {
            if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        }
        return name;
    });

TEST(CursorWatchDesktop, StopsWithZeroOnStopInAnyCaseOrEndOfInput) {
    for (const char* stop : {"Stop", "STOP"}) {
        ChildProcess monitor({monitorProgram});
        ASSERT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");
        monitor.writeLine("hello");
        monitor.writeLine(stop);
        EXPECT_EQ(monitor.waitForExit(lineTimeout), ExitStatus::exitCode(0)) << stop;
        EXPECT_EQ(monitor.readStderrToEnd(1s), "");
    }

    ChildProcess monitor({monitorProgram});
    ASSERT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");
    monitor.writeLine(" stop");
    monitor.writeLine("stop now");
    EXPECT_EQ(monitor.waitForExit(1s), std::nullopt) << "a line that is not exactly stop ended the monitor";
    monitor.closeStdin();
    EXPECT_EQ(monitor.waitForExit(lineTimeout), ExitStatus::exitCode(0));
    EXPECT_EQ(monitor.readStdoutToEnd(1s), "");
}

TEST(CursorWatchDesktop, WithoutDisplayServerItStillRunsAndSeesTheArrow) {
    SpawnOptions noDisplay;
    noDisplay.unsetEnvironment = {"DISPLAY"};
    // A display that is named but cannot be opened makes the libraries below complain.
    SpawnOptions unreachableDisplay;
    unreachableDisplay.setEnvironment = {{"DISPLAY", ":-1"}};
    // A server that takes the connection and never answers (stopped, hung) must not
    // stop the polls; one that refuses has its libraries print a reason.
    using kelvane::testing::StuckXServer;
    const StuckXServer silent(StuckXServer::Behaviour::neverAnswers);
    const StuckXServer refusing(StuckXServer::Behaviour::refuses);
    SpawnOptions silentDisplay;
    silentDisplay.setEnvironment = {{"DISPLAY", silent.displayName()}};
    silentDisplay.unsetEnvironment = {"XCURSOR_SIZE"};
    SpawnOptions refusingDisplay;
    refusingDisplay.setEnvironment = {{"DISPLAY", refusing.displayName()}};
    refusingDisplay.unsetEnvironment = {"XCURSOR_SIZE"};
    for (const SpawnOptions& options : {noDisplay, unreachableDisplay, silentDisplay, refusingDisplay}) {
        SCOPED_TRACE(options.setEnvironment.empty() ? "no DISPLAY" : options.setEnvironment.at("DISPLAY"));
        ChildProcess monitor({monitorProgram}, options);
        EXPECT_EQ(monitor.readStdoutLine(lineTimeout), "STATE:arrow");
        monitor.writeLine("stop");
        EXPECT_EQ(monitor.waitForExit(lineTimeout), ExitStatus::exitCode(0));
        EXPECT_EQ(monitor.readStderrToEnd(1s), "");
    }
}

TEST(CursorWatchDesktop, ExportPrintsTheNineCursorsAsDecodablePngs) {
    for (const bool withDisplay : {true, false}) {
        SpawnOptions options = withTheme("Adwaita");
        if (!withDisplay) options.unsetEnvironment = {"DISPLAY"};
        ChildProcess exporter({monitorProgram, "--verbose", "--export-images"}, options);
        ASSERT_EQ(exporter.waitForExit(10s), ExitStatus::exitCode(0));
        EXPECT_EQ(exporter.readStderrToEnd(1s), "");

        std::vector<std::string> names;
        while (const auto line = exporter.readStdoutLine(1s)) {
            const auto fields = testing::splitFields(*line);
            ASSERT_EQ(fields.size(), 6u) << *line;
            EXPECT_EQ(fields[0], "CURSOR_IMAGE");
            names.push_back(fields[1]);
            for (int i = 2; i <= 4; ++i) EXPECT_GT(std::stod(fields[i]), -1e-9) << fields[i];
            const auto png = testing::base64Decode(fields[5]);
            ASSERT_TRUE(png) << fields[1];
            const auto image = testing::decodePng(*png);
            ASSERT_TRUE(image) << fields[1];
            EXPECT_GE(image->width, 16);
            EXPECT_GE(image->height, 16);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"arrow", "text", "pointer", "crosshair", "open-hand", "closed-hand",
                                                   "resize-ew", "resize-ns", "not-allowed"}));
    }
}

}  // namespace
}  // namespace kelvane::cursorwatch
