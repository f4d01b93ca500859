#include "cursor-watch/cairo_cursor_surface.h"

#include <cstdint>

namespace kelvane::cursorwatch {

CairoSurface cairoSurfaceFor(const platform::CursorBitmap& bitmap) {
    if (bitmap.pixelWidth <= 0 || bitmap.pixelHeight <= 0) return {};
    const auto needed = static_cast<std::size_t>(bitmap.pixelWidth) * static_cast<std::size_t>(bitmap.pixelHeight);
    if (bitmap.pixels.size() < needed) return {};
    const int stride = bitmap.pixelWidth * static_cast<int>(sizeof(std::uint32_t));
    if (stride != cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, bitmap.pixelWidth)) return {};

    // cairo only reads from a source surface, so handing it the const pixels is safe.
    auto* data = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(bitmap.pixels.data()));
    CairoSurface surface(cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, bitmap.pixelWidth,
                                                             bitmap.pixelHeight, stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
    return surface;
}

}  // namespace kelvane::cursorwatch
