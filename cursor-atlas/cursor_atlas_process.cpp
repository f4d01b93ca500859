#include "cursor-atlas/cursor_atlas_process.h"

#include <string>

#include "common/json_writer.h"
#include "cursor-atlas/cursor_atlas.h"

namespace kelvane::cursoratlas {

int runCursorAtlas(CursorAtlasPlatform platform, const common::ProgramDescriptors& descriptors) {
    // Pixels equal points on this desktop, so the scale-1 bitmap of each cursor is used.
    const CursorAssetSettings settings{.minimumCursorRenderScale = 12,
                                       .referencePixelHeight = 1024,
                                       .displayBackingScale = 1};
    std::unique_ptr<platform::StandardCursors> cursors = platform.makeStandardCursors();
    const CursorAssets assets = makeAssets(*cursors, settings);
    std::string document;
    try {
        document = atlasDocument(assets);
    } catch (const common::JsonEncodeError&) {
        return 1;
    }
    descriptors.writeBytes(document);
    return 0;
}

}  // namespace kelvane::cursoratlas
