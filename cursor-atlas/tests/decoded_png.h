#pragma once
// Test helpers: cursor images drawn from a function of the pixel position, and the PNG of
// a data URL decoded back into pixels.
#include <cairo.h>
#include <glib.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cursor_image.h"

namespace kelvane::cursoratlas::testing {

inline platform::CursorBitmap drawBitmap(int width, int height, const std::function<std::uint32_t(int x, int y)>& pixel) {
    platform::CursorBitmap bitmap{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) bitmap.pixels.push_back(pixel(x, y));
    }
    return bitmap;
}

inline platform::CursorImage cursorImage(double pointWidth, double pointHeight, double hotspotX, double hotspotY,
                                         std::vector<platform::CursorBitmap> representations) {
    return {pointWidth, pointHeight, hotspotX, hotspotY, std::move(representations)};
}

// Opaque pixels of `colour` inside the rectangle, transparent outside.
inline std::function<std::uint32_t(int, int)> block(int left, int top, int right, int bottom, std::uint32_t colour) {
    return [=](int x, int y) { return x >= left && x <= right && y >= top && y <= bottom ? colour : 0u; };
}

struct DecodedPng {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // premultiplied ARGB32, as cairo reads them
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

inline std::optional<DecodedPng> decodeDataUrl(std::string_view dataUrl) {
    constexpr std::string_view prefix = "data:image/png;base64,";
    if (!dataUrl.starts_with(prefix)) return std::nullopt;
    std::string base64(dataUrl.substr(prefix.size()));
    gsize length = 0;
    guchar* bytes = g_base64_decode(base64.c_str(), &length);
    struct Reader {
        const guchar* data;
        gsize left;
    } reader{bytes, length};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* out, unsigned int wanted) {
            auto* r = static_cast<Reader*>(closure);
            if (wanted > r->left) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(out, r->data, wanted);
            r->data += wanted;
            r->left -= wanted;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    std::optional<DecodedPng> decoded;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        decoded.emplace();
        decoded->width = cairo_image_surface_get_width(surface);
        decoded->height = cairo_image_surface_get_height(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < decoded->height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
            decoded->pixels.insert(decoded->pixels.end(), row, row + decoded->width);
        }
    }
    cairo_surface_destroy(surface);
    g_free(bytes);
    return decoded;
}

}  // namespace kelvane::cursoratlas::testing
