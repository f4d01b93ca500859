#pragma once
// The cursor monitor from its arguments to its end.
#include <functional>
#include <memory>
#include <span>

#include "common/program_start.h"
#include "platform/accessibility.h"
#include "platform/standard_cursors.h"
#include "platform/system_cursor.h"

namespace kelvane::cursorwatch {

// Made in this order, and the system cursor only when the monitor runs.
struct CursorWatchPlatform {
    std::function<std::unique_ptr<platform::AccessibilityToolkit>()> makeAccessibility;
    std::function<std::unique_ptr<platform::StandardCursors>()> makeStandardCursors;
    std::function<std::unique_ptr<platform::SystemCursor>()> makeSystemCursor;
};

// With "--export-images" prints the known cursors' images and returns 0. Otherwise
// prints a STATE line whenever the pointer's kind changes until a stop line or the end
// of input, then calls `descriptors.exit(0)`; should that return, this returns 0 with the
// monitor's threads left running, since a poll may still be waiting on the main thread.
int runCursorWatch(std::span<const char* const> arguments, CursorWatchPlatform platform,
                   common::ProgramDescriptors descriptors);

}  // namespace kelvane::cursorwatch
