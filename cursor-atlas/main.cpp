// kelvane-cursor-atlas: renders the standard cursors of the current theme to large PNG
// images and prints them, with hotspots and sizes, as one JSON object.
#include "common/program_start.h"
#include "cursor-atlas/cursor_atlas_process.h"

int main() {
    using namespace kelvane;
    common::prepareProcess({.silenceStandardError = true});
    return cursoratlas::runCursorAtlas({platform::makeStandardCursors}, {});
}
