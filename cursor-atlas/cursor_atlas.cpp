#include "cursor-atlas/cursor_atlas.h"

#include "common/json_writer.h"
#include "cursor-watch/cursor_names.h"

namespace kelvane::cursoratlas {

CursorAssets makeAssets(platform::StandardCursors& cursors, const CursorAssetSettings& settings) {
    CursorAssets assets;
    for (const auto& [name, cursor] : cursorwatch::exportedCursorTable) {
        // Each cursor's image and drawing surfaces are released before the next one.
        std::optional<platform::CursorImage> image = cursors.image(cursor);
        if (!image) continue;
        if (std::optional<CursorAsset> asset = makeAsset(*image, settings)) assets.emplace(name, std::move(*asset));
    }
    return assets;
}

std::string atlasDocument(const CursorAssets& assets) {
    // std::map orders names byte by byte, which is the sorted order of these ASCII keys.
    common::JsonWriter writer;
    writer.beginObject();
    for (const auto& [name, asset] : assets) {
        writer.key(name).beginObject();
        writer.key("dataUrl").string(asset.dataUrl);
        writer.key("height").number(asset.height);
        writer.key("hotspotX").number(asset.hotspotX);
        writer.key("hotspotY").number(asset.hotspotY);
        writer.key("width").number(asset.width);
        writer.endObject();
    }
    writer.endObject();
    return writer.take();
}

}  // namespace kelvane::cursoratlas
