// kelvane-cursor-watch: reports the kind of the system pointer whenever it changes, or
// with "--export-images" prints the images of the cursors it knows. Never reports an
// error and always ends with status 0.
#include <span>

#include "common/program_start.h"
#include "cursor-watch/cursor_watch_process.h"

int main(int argc, char** argv) {
    using namespace kelvane;
    common::prepareProcess({.ignoreBrokenPipe = true, .silenceStandardError = true});
    const cursorwatch::CursorWatchPlatform backends{platform::makeAccessibilityToolkit, platform::makeStandardCursors,
                                                    platform::makeSystemCursor};
    return cursorwatch::runCursorWatch(std::span<const char* const>(argv, static_cast<std::size_t>(argc)),
                                       backends, {});
}
