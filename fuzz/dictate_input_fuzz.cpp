// Random transcripts and input lines through the dictation program's event writer and
// stop-command check.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/unicode_text.h"
#include "dictate/dictation_events.h"
#include "dictate/stop_command.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // Any transcript becomes one line of JSON that reads back as its (repaired) text.
    const std::string line = kelvane::dictate::eventLine({{"type", "partial"}, {"text", input}});
    require(line.find('\n') == std::string::npos);
    for (std::size_t at = line.find('/'); at != std::string::npos; at = line.find('/', at + 1))
        require(at > 0 && line[at - 1] == '\\');
    const auto event = nlohmann::json::parse(line);
    require(event.size() == 2 && event["type"] == "partial");
    require(event["text"].get<std::string>() == kelvane::common::repairUtf8(input));

    // Horizontal space around a line never changes whether it is the stop command.
    const bool stop = kelvane::dictate::isStopCommand(input);
    require(kelvane::dictate::isStopCommand(" \t" + input + "\u3000\u00A0") == stop);
    require(!stop || input.find("stop") != std::string::npos);
    return 0;
}
