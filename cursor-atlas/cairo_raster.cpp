#include "cursor-atlas/cairo_raster.h"

#include <cstring>

namespace kelvane::cursoratlas {
namespace {

Surface checked(cairo_surface_t* surface) {
    Surface owned(surface);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return nullptr;
    return owned;
}

}  // namespace

Surface createCanvas(double width, double height) {
    if (!(width >= 1 && height >= 1) || width > 32767 || height > 32767 || width * height > maximumCanvasPixels) {
        return nullptr;
    }
    return checked(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height)));
}

Surface surfaceFromBitmap(const platform::CursorBitmap& bitmap) {
    if (bitmap.pixelWidth <= 0 || bitmap.pixelHeight <= 0 ||
        bitmap.pixels.size() != std::size_t(bitmap.pixelWidth) * std::size_t(bitmap.pixelHeight)) {
        return nullptr;
    }
    Surface surface = createCanvas(bitmap.pixelWidth, bitmap.pixelHeight);
    if (!surface) return nullptr;
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const std::size_t rowBytes = std::size_t(bitmap.pixelWidth) * sizeof(std::uint32_t);
    for (int y = 0; y < bitmap.pixelHeight; ++y) {
        std::memcpy(data + std::ptrdiff_t(y) * stride, bitmap.pixels.data() + std::size_t(y) * bitmap.pixelWidth, rowBytes);
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

Surface cropSurface(cairo_surface_t* surface, const PixelRect& rect) {
    return checked(cairo_surface_create_for_rectangle(surface, rect.x, rect.y, rect.width, rect.height));
}

bool drawStretched(cairo_surface_t* source, int sourceWidth, int sourceHeight, cairo_surface_t* target) {
    const int targetWidth = cairo_image_surface_get_width(target);
    const int targetHeight = cairo_image_surface_get_height(target);
    if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return false;
    cairo_t* context = cairo_create(target);
    cairo_scale(context, double(targetWidth) / sourceWidth, double(targetHeight) / sourceHeight);
    cairo_set_source_surface(context, source, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(context);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    // Edge pixels repeat outward instead of fading into transparency.
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_set_operator(context, CAIRO_OPERATOR_SOURCE);
    cairo_paint(context);
    const bool drawn = cairo_status(context) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(context);
    cairo_surface_flush(target);
    return drawn && cairo_surface_status(target) == CAIRO_STATUS_SUCCESS;
}

}  // namespace kelvane::cursoratlas
