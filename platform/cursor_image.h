#pragma once
// A cursor image as the cursor toolkit describes it: a size and a hotspot in points
// (hotspot measured from the top-left corner), and one or more bitmaps of the same
// picture at different pixel sizes.
#include <cstdint>
#include <vector>

namespace kelvane::platform {

// Premultiplied ARGB32 in native byte order (cairo's CAIRO_FORMAT_ARGB32 layout),
// rows top to bottom, `pixelWidth` pixels per row with no padding.
struct CursorBitmap {
    int pixelWidth = 0;
    int pixelHeight = 0;
    std::vector<std::uint32_t> pixels;
};

struct CursorImage {
    double pointWidth = 0;
    double pointHeight = 0;
    double hotspotX = 0;
    double hotspotY = 0;
    // The first representation is the image at scale 1 (pixels equal points); others,
    // if any, are the same cursor drawn at other pixel sizes.
    std::vector<CursorBitmap> representations;
};

}  // namespace kelvane::platform
