#pragma once
// The arithmetic of a cursor asset: how far the source bitmap is enlarged onto the first
// canvas, and, once the opaque part of that canvas is known, the output size and where
// the hotspot lands in the output.
#include "cursor-atlas/cursor_asset.h"
#include "cursor-atlas/opaque_bounds.h"

namespace kelvane::cursoratlas {

struct CanvasPlan {
    double sourceScale = 0;  // bitmap pixels per point
    double renderScale = 0;  // canvas pixels per bitmap pixel
    double width = 0;
    double height = 0;
};

struct OutputPlan {
    double width = 0;
    double height = 0;
    double hotspotX = 0;
    double hotspotY = 0;
};

CanvasPlan planCanvas(const platform::CursorImage& cursor, int pixelWidth, int pixelHeight,
                      const CursorAssetSettings& settings);

// `bounds` is the opaque part of the canvas. The output keeps the crop's proportions at
// the reference height; both hotspot coordinates use the vertical factor.
OutputPlan planOutput(const platform::CursorImage& cursor, const CanvasPlan& canvas, const PixelRect& bounds,
                      const CursorAssetSettings& settings);

}  // namespace kelvane::cursoratlas
