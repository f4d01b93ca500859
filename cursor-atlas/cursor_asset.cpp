#include "cursor-atlas/cursor_asset.h"

#include <cmath>
#include <span>

#include "common/base64.h"
#include "cursor-atlas/asset_geometry.h"
#include "cursor-atlas/best_cursor_bitmap.h"
#include "cursor-atlas/cairo_raster.h"
#include "cursor-atlas/png_encoder.h"

namespace kelvane::cursoratlas {

std::optional<CursorAsset> makeAsset(const platform::CursorImage& cursor, const CursorAssetSettings& settings) {
    const platform::CursorBitmap* bitmap = bestCursorBitmap(cursor, settings.displayBackingScale);
    if (bitmap == nullptr) return std::nullopt;
    const CanvasPlan canvasPlan = planCanvas(cursor, bitmap->pixelWidth, bitmap->pixelHeight, settings);

    // First canvas: the bitmap enlarged by the render scale.
    Surface canvas = createCanvas(canvasPlan.width, canvasPlan.height);
    {
        Surface source = surfaceFromBitmap(*bitmap);
        if (!source || !canvas || !drawStretched(source.get(), bitmap->pixelWidth, bitmap->pixelHeight, canvas.get())) {
            return std::nullopt;
        }
    }

    std::optional<PixelRect> bounds =
        findOpaqueBounds(cairo_image_surface_get_data(canvas.get()), cairo_image_surface_get_width(canvas.get()),
                         cairo_image_surface_get_height(canvas.get()), cairo_image_surface_get_stride(canvas.get()));
    if (!bounds) return std::nullopt;
    const OutputPlan outputPlan = planOutput(cursor, canvasPlan, *bounds, settings);
    if (!std::isfinite(outputPlan.hotspotX) || !std::isfinite(outputPlan.hotspotY)) return std::nullopt;

    // Second canvas: the opaque part stretched to the reference height.
    Surface output = createCanvas(outputPlan.width, outputPlan.height);
    {
        Surface cropped = cropSurface(canvas.get(), *bounds);
        if (!cropped || !output || !drawStretched(cropped.get(), bounds->width, bounds->height, output.get())) {
            return std::nullopt;
        }
    }
    canvas.reset();

    std::optional<std::string> png = encodePng(output.get());
    if (!png) return std::nullopt;

    CursorAsset asset;
    asset.dataUrl = "data:image/png;base64," +
                    common::base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(png->data()), png->size()));
    asset.hotspotX = outputPlan.hotspotX;
    asset.hotspotY = outputPlan.hotspotY;
    asset.width = outputPlan.width;
    asset.height = outputPlan.height;
    return asset;
}

}  // namespace kelvane::cursoratlas
