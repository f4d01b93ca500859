#pragma once
// The cursor atlas program from the theme's cursors to its exit status.
#include <functional>
#include <memory>

#include "common/program_start.h"
#include "platform/standard_cursors.h"

namespace kelvane::cursoratlas {

struct CursorAtlasPlatform {
    std::function<std::unique_ptr<platform::StandardCursors>()> makeStandardCursors;
};

// Writes the atlas document and returns 0, or returns 1 with nothing written when it
// cannot be encoded.
int runCursorAtlas(CursorAtlasPlatform platform, const common::ProgramDescriptors& descriptors);

}  // namespace kelvane::cursoratlas
