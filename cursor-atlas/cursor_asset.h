#pragma once
// One standard cursor turned into a large, tightly cropped PNG of a fixed height with its
// hotspot in that PNG's pixels. No step interpolates: each source pixel becomes a
// sharp-edged block of output pixels.
#include <optional>
#include <string>

#include "platform/cursor_image.h"

namespace kelvane::cursoratlas {

struct CursorAssetSettings {
    // Smallest factor by which source pixels are enlarged on the first canvas.
    double minimumCursorRenderScale = 12;
    // Height of every output image, and the height the first canvas aims at.
    double referencePixelHeight = 1024;
    // Pixels per point of the display; the bitmap of that scale is preferred.
    double displayBackingScale = 1;
};

struct CursorAsset {
    std::string dataUrl;
    // In output pixels from the top-left corner; may lie outside the image when the
    // hotspot sits on transparent pixels that the crop removed.
    double hotspotX = 0;
    double hotspotY = 0;
    double width = 0;
    double height = 0;
};

// Nothing when any step fails: no usable bitmap, no opaque pixel, a canvas too large to
// create, a failed PNG encoding, or a result that is not finite.
std::optional<CursorAsset> makeAsset(const platform::CursorImage& cursor, const CursorAssetSettings& settings);

}  // namespace kelvane::cursoratlas
