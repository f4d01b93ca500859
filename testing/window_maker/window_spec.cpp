#include "testing/window_maker/window_spec.h"

#include <charconv>
#include <cmath>
#include <map>
#include <utility>

namespace kelvane::testing {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

WindowType parseType(const std::string& text) {
    static const std::map<std::string, WindowType> types = {
        {"normal", WindowType::normal},     {"dialog", WindowType::dialog},
        {"utility", WindowType::utility},   {"toolbar", WindowType::toolbar},
        {"splash", WindowType::splash},     {"dock", WindowType::dock},
        {"desktop", WindowType::desktop},   {"menu", WindowType::menu},
        {"dropdown-menu", WindowType::dropdownMenu}, {"popup-menu", WindowType::popupMenu},
        {"tooltip", WindowType::tooltip},   {"notification", WindowType::notification},
    };
    auto found = types.find(text);
    if (found == types.end()) throw SpecError("unknown window type \"" + text + "\"");
    return found->second;
}

ContentMode parseContent(const std::string& text) {
    if (text == "solid") return ContentMode::solid;
    if (text == "cycle") return ContentMode::cycle;
    if (text == "flash") return ContentMode::flash;
    if (text == "moving-box") return ContentMode::movingBox;
    throw SpecError("unknown content \"" + text + "\" (solid, cycle, flash, moving-box)");
}

bool parseFlag(const std::string& text) {
    if (text == "1" || text == "yes" || text == "true") return true;
    if (text == "0" || text == "no" || text == "false") return false;
    throw SpecError("expected yes or no, got \"" + text + "\"");
}

void applyStates(WindowSpec& spec, const std::string& text) {
    for (const std::string& state : splitList(text)) {
        if (state == "above") {
            spec.above = true;
        } else if (state == "hidden" || state == "minimized") {
            spec.hidden = true;
        } else if (state == "sticky") {
            spec.sticky = true;
        } else {
            throw SpecError("unknown state \"" + state + "\" (above, hidden, sticky)");
        }
    }
}

}  // namespace

std::vector<std::string> splitCommandWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\') {
            if (i + 1 >= line.size()) throw SpecError("a backslash ends the line");
            char next = line[++i];
            if (next == 'n') {
                word += '\n';
            } else if (next == 't') {
                word += '\t';
            } else if (next == 'x') {
                int high = i + 1 < line.size() ? hexDigit(line[i + 1]) : -1;
                int low = i + 2 < line.size() ? hexDigit(line[i + 2]) : -1;
                if (high < 0 || low < 0) throw SpecError("\\x needs two hexadecimal digits");
                word += static_cast<char>(high * 16 + low);
                i += 2;
            } else {
                word += next;
            }
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(std::exchange(word, {}));
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) throw SpecError("unclosed quotation mark");
    if (inWord) words.push_back(word);
    return words;
}

int64_t parseInteger(const std::string& text, int64_t minimum, int64_t maximum) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum || value > maximum) {
        throw SpecError("\"" + text + "\" is not a number from " + std::to_string(minimum) + " to " +
                        std::to_string(maximum));
    }
    return value;
}

uint32_t parseColor(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') throw SpecError("colour \"" + text + "\" is not #rrggbb");
    uint32_t value = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        int digit = hexDigit(text[i]);
        if (digit < 0) throw SpecError("colour \"" + text + "\" is not #rrggbb");
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

WindowSpec parseWindowSpec(const std::vector<std::string>& words) {
    WindowSpec spec;
    for (const std::string& word : words) {
        size_t equals = word.find('=');
        std::string key = word.substr(0, equals);
        bool hasValue = equals != std::string::npos;
        std::string value = hasValue ? word.substr(equals + 1) : std::string();
        auto needValue = [&] {
            if (!hasValue) throw SpecError("\"" + key + "\" needs a value (" + key + "=...)");
        };
        if (key == "title") {
            needValue();
            spec.netWmName = value;
            spec.wmName = value;
        } else if (key == "net-wm-name") {
            needValue();
            spec.netWmName = value;
        } else if (key == "wm-name") {
            needValue();
            spec.wmName = value;
        } else if (key == "class") {
            needValue();
            // "instance,Class"; an empty value leaves WM_CLASS off the window.
            size_t comma = value.find(',');
            if (value.empty()) {
                spec.wmClassInstance.reset();
                spec.wmClassClass.reset();
            } else if (comma == std::string::npos) {
                throw SpecError("class needs \"instance,Class\", got \"" + value + "\"");
            } else {
                spec.wmClassInstance = value.substr(0, comma);
                spec.wmClassClass = value.substr(comma + 1);
            }
        } else if (key == "gtk-app-id") {
            needValue();
            spec.gtkApplicationId = value;
        } else if (key == "kde-desktop-file") {
            needValue();
            spec.kdeDesktopFile = value;
        } else if (key == "pid") {
            needValue();
            spec.setPid = value != "none";
            if (spec.setPid) spec.pid = static_cast<uint32_t>(parseInteger(value, 0, UINT32_MAX));
        } else if (key == "type") {
            needValue();
            spec.type = parseType(value);
        } else if (key == "state") {
            needValue();
            applyStates(spec, value);
        } else if (key == "desktop") {
            needValue();
            spec.desktop = value == "all" ? 0xFFFFFFFFu : static_cast<uint32_t>(parseInteger(value, 0, 63));
        } else if (key == "override-redirect") {
            spec.overrideRedirect = hasValue ? parseFlag(value) : true;
        } else if (key == "transient-for") {
            needValue();
            spec.transientFor = static_cast<uint32_t>(parseInteger(value, 1, UINT32_MAX));
        } else if (key == "x") {
            needValue();
            spec.x = static_cast<int>(parseInteger(value, -32768, 32767));
        } else if (key == "y") {
            needValue();
            spec.y = static_cast<int>(parseInteger(value, -32768, 32767));
        } else if (key == "w") {
            needValue();
            spec.width = static_cast<uint32_t>(parseInteger(value, 1, 32767));
        } else if (key == "h") {
            needValue();
            spec.height = static_cast<uint32_t>(parseInteger(value, 1, 32767));
        } else if (key == "cursor") {
            needValue();
            spec.cursor = value;
        } else if (key == "content") {
            needValue();
            spec.content = parseContent(value);
        } else if (key == "color") {
            needValue();
            spec.color = parseColor(value);
        } else if (key == "rate") {
            needValue();
            spec.rate = static_cast<double>(parseInteger(value, 1, 240));
        } else if (key == "flash-ms") {
            needValue();
            spec.flashMilliseconds = static_cast<uint32_t>(parseInteger(value, 1, 900));
        } else {
            throw SpecError("unknown setting \"" + word + "\"");
        }
    }
    return spec;
}

}  // namespace kelvane::testing
