#include "dictate/stop_command.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace kelvane::dictate {

namespace {

bool isHorizontalSpace(UChar32 c) { return c == u'\t' || u_charType(c) == U_SPACE_SEPARATOR; }

}  // namespace

bool isStopCommand(std::string_view line) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
    const auto length = static_cast<std::int32_t>(line.size());

    std::int32_t begin = 0;
    while (begin < length) {
        std::int32_t next = begin;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !isHorizontalSpace(c)) break;
        begin = next;
    }
    std::int32_t end = length;
    while (end > begin) {
        std::int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, begin, previous, c);
        if (c < 0 || !isHorizontalSpace(c)) break;
        end = previous;
    }
    return line.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)) == "stop";
}

void waitForStopOrEndOfInput(common::LineReader& reader) {
    while (auto line = reader.next()) {
        if (isStopCommand(*line)) return;
    }
}

}  // namespace kelvane::dictate
