#pragma once
// The monitor's command line and standard input.
#include <span>
#include <string_view>

#include "common/line_reader.h"

namespace kelvane::cursorwatch {

// True when one argument (after the program name) is exactly "--export-images".
bool exportImagesRequested(std::span<const char* const> arguments);

// A line ends the monitor when its lowercase form is exactly "stop"; nothing is trimmed.
bool isStopLine(std::string_view line);

// Reads lines until a stop line or the end of input.
void waitForStopLine(common::LineReader& reader);

}  // namespace kelvane::cursorwatch
