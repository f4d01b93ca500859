#pragma once
// What one test window should look like, parsed from "key=value" words such as
//   title="Mail — Inbox" class=mail,Mail type=dialog state=above,sticky x=10 y=20 w=300 h=200
// Words come from the command line (one argument each) or from a line on standard
// input (split by splitCommandWords, which understands "..." and backslash escapes).
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvane::testing {

enum class WindowType { normal, dialog, utility, toolbar, splash, dock, desktop, menu, dropdownMenu, popupMenu, tooltip, notification };

enum class ContentMode {
    solid,      // one colour
    cycle,      // a new colour `rate` times a second
    flash,      // white for `flashMilliseconds` once a second, each flash reported
    movingBox,  // a white box sliding across the background
};

struct WindowSpec {
    std::optional<std::string> netWmName;  // _NET_WM_NAME (UTF-8)
    std::optional<std::string> wmName;     // WM_NAME
    std::optional<std::string> wmClassInstance = "kelvane-test-window";
    std::optional<std::string> wmClassClass = "KelvaneTestWindow";
    std::optional<std::string> gtkApplicationId;
    std::optional<std::string> kdeDesktopFile;
    bool setPid = true;
    std::optional<uint32_t> pid;  // when unset, the window maker's own process id
    WindowType type = WindowType::normal;
    bool above = false;
    bool hidden = false;  // minimised
    bool sticky = false;
    std::optional<uint32_t> desktop;
    bool overrideRedirect = false;
    std::optional<uint32_t> transientFor;
    int x = 100;
    int y = 100;
    uint32_t width = 400;
    uint32_t height = 300;
    std::string cursor;  // a cursor theme name; empty for the parent's cursor
    ContentMode content = ContentMode::solid;
    uint32_t color = 0x3366cc;  // 0xRRGGBB
    double rate = 4.0;
    uint32_t flashMilliseconds = 200;
};

class SpecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits a command line into words at blanks. Double quotes group blanks into a word
// (and may start mid-word: title="A b"); a backslash escapes the next character, and
// \n, \t and \xHH stand for a line feed, a tab and any byte. Throws SpecError for an
// unclosed quote or a broken escape.
std::vector<std::string> splitCommandWords(const std::string& line);

// Throws SpecError naming the offending word.
WindowSpec parseWindowSpec(const std::vector<std::string>& words);

// Parses "#rrggbb" into 0xRRGGBB.
uint32_t parseColor(const std::string& text);

// Parses a whole unsigned or signed decimal number.
int64_t parseInteger(const std::string& text, int64_t minimum, int64_t maximum);

}  // namespace kelvane::testing
