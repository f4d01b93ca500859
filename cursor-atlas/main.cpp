// kelvane-cursor-atlas: renders the standard cursors of the current theme to large PNG
// images and prints them, with hotspots and sizes, as one JSON object.
#include "common/json_writer.h"
#include "common/line_output.h"
#include "common/standard_error.h"
#include "cursor-atlas/cursor_atlas.h"
#include "platform/standard_cursors.h"

int main() {
    using namespace kelvane;
    common::silenceStandardError();
    // Pixels equal points on this desktop, so the scale-1 bitmap of each cursor is used.
    const cursoratlas::CursorAssetSettings settings{.minimumCursorRenderScale = 12,
                                                    .referencePixelHeight = 1024,
                                                    .displayBackingScale = 1};
    std::unique_ptr<platform::StandardCursors> cursors = platform::makeStandardCursors();
    const cursoratlas::CursorAssets assets = cursoratlas::makeAssets(*cursors, settings);
    std::string document;
    try {
        document = cursoratlas::atlasDocument(assets);
    } catch (const common::JsonEncodeError&) {
        return 1;
    }
    common::writeOutputBytes(document);
    return 0;
}
