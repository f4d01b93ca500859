#pragma once
// Owning handles for cairo objects and a cairo view of a cursor bitmap.
#include <memory>

#include <cairo.h>

#include "platform/cursor_image.h"

namespace kelvane::cursorwatch {

struct CairoSurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct CairoContextRelease {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceRelease>;
using CairoContext = std::unique_ptr<cairo_t, CairoContextRelease>;

// A surface over the bitmap's own pixels (no copy); the bitmap must outlive it. Empty
// when the bitmap is malformed (no pixels, or fewer pixels than its size says).
CairoSurface cairoSurfaceFor(const platform::CursorBitmap& bitmap);

}  // namespace kelvane::cursorwatch
