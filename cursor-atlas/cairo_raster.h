#pragma once
// The few cairo operations the atlas needs: image surfaces of cursor pixels, stretching
// one surface onto another with the nearest filter, and cutting out a rectangle. Every
// failure comes back as an empty result, never as a surface in an error state.
#include <cairo.h>

#include <memory>

#include "cursor-atlas/opaque_bounds.h"
#include "platform/cursor_image.h"

namespace kelvane::cursoratlas {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// Largest canvas the atlas will allocate (256 MiB of pixels): a theme with absurdly
// large cursors loses those cursors instead of exhausting memory.
inline constexpr double maximumCanvasPixels = double(1 << 26);

// A transparent ARGB32 surface; empty when the size is not positive or too large.
Surface createCanvas(double width, double height);

// A copy of the bitmap's pixels as a surface; empty for an unusable bitmap.
Surface surfaceFromBitmap(const platform::CursorBitmap& bitmap);

// The part of `surface` inside `rect`, sharing its pixels.
Surface cropSurface(cairo_surface_t* surface, const PixelRect& rect);

// Replaces all of `target` with the whole of `source` (of the given pixel size) stretched
// to cover it, each target pixel a copy of its nearest source pixel. False on failure.
bool drawStretched(cairo_surface_t* source, int sourceWidth, int sourceHeight, cairo_surface_t* target);

}  // namespace kelvane::cursoratlas
