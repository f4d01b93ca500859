#pragma once
// The host ends listening with a "stop" line or by closing standard input.
#include <string_view>

#include "common/line_reader.h"

namespace kelvane::dictate {

// True when the line is exactly "stop" (case-sensitive) once leading and trailing tabs
// and Unicode space separators are removed. Line breaks do not count as space here.
bool isStopCommand(std::string_view line);

// Reads lines until a stop command or the end of input, and returns then.
void waitForStopOrEndOfInput(common::LineReader& reader);

}  // namespace kelvane::dictate
