#include "cursor-watch/monitor_input.h"

#include <algorithm>
#include <optional>
#include <string>

namespace kelvane::cursorwatch {

bool exportImagesRequested(std::span<const char* const> arguments) {
    if (arguments.empty()) return false;
    return std::any_of(arguments.begin() + 1, arguments.end(), [](const char* argument) {
        return argument != nullptr && std::string_view(argument) == "--export-images";
    });
}

bool isStopLine(std::string_view line) {
    constexpr std::string_view stop = "stop";
    if (line.size() != stop.size()) return false;
    // No character outside ASCII lowercases to an ASCII letter of this word, so folding
    // ASCII capitals alone is the full lowercase comparison.
    return std::equal(line.begin(), line.end(), stop.begin(), [](char given, char wanted) {
        const char folded = (given >= 'A' && given <= 'Z') ? static_cast<char>(given - 'A' + 'a') : given;
        return folded == wanted;
    });
}

void waitForStopLine(common::LineReader& reader) {
    while (const std::optional<std::string> line = reader.next()) {
        if (isStopLine(*line)) return;
    }
}

}  // namespace kelvane::cursorwatch
