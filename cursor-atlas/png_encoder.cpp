#include "cursor-atlas/png_encoder.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kelvane::cursoratlas {
namespace {

void appendToString(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    try {
        out->append(reinterpret_cast<const char*>(data), length);
    } catch (...) {
        png_error(png, "out of memory");
    }
}

void flushNothing(png_structp) {}

// libpng's own handlers print to standard error, which the atlas keeps silent; a failure
// only drops the one cursor.
[[noreturn]] void failQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

// Premultiplied native-endian ARGB32 to straight RGBA bytes, rounding like cairo does.
void unpremultiplyRow(const std::uint8_t* source, int width, std::uint8_t* target) {
    for (int x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, source + 4 * x, sizeof pixel);
        const std::uint32_t alpha = pixel >> 24;
        std::uint32_t red = (pixel >> 16) & 0xff, green = (pixel >> 8) & 0xff, blue = pixel & 0xff;
        // Cursors are mostly fully transparent or fully opaque; only the rest need dividing.
        if (alpha == 0) {
            red = green = blue = 0;
        } else if (alpha != 0xff) {
            red = (red * 255 + alpha / 2) / alpha;
            green = (green * 255 + alpha / 2) / alpha;
            blue = (blue * 255 + alpha / 2) / alpha;
        }
        std::uint8_t* out = target + 4 * x;
        out[0] = static_cast<std::uint8_t>(red);
        out[1] = static_cast<std::uint8_t>(green);
        out[2] = static_cast<std::uint8_t>(blue);
        out[3] = static_cast<std::uint8_t>(alpha);
    }
}

// Only C objects live between setjmp and the end of this function, so libpng's longjmp
// on error skips no destructor.
bool writePng(png_structp png, png_infop info, const std::uint8_t* data, int width, int height, int stride,
              std::uint8_t* row, std::string* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, appendToString, flushNothing);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
    png_set_compression_strategy(png, Z_RLE);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = data + std::ptrdiff_t(y) * stride;
        // Enlarged rows repeat: a row equal to the one above is already converted.
        if (y == 0 || std::memcmp(source, source - stride, std::size_t(width) * 4) != 0) {
            unpremultiplyRow(source, width, row);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

std::optional<std::string> encodePng(cairo_surface_t* surface) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
        return std::nullopt;
    }
    cairo_surface_flush(surface);
    const std::uint8_t* data = cairo_image_surface_get_data(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    if (data == nullptr || width <= 0 || height <= 0) return std::nullopt;

    std::vector<std::uint8_t> row(std::size_t(width) * 4);
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning);
    if (png == nullptr) return std::nullopt;
    png_infop info = png_create_info_struct(png);
    const bool written = info != nullptr && writePng(png, info, data, width, height, stride, row.data(), &out);
    png_destroy_write_struct(&png, &info);
    if (!written) return std::nullopt;
    return out;
}

}  // namespace kelvane::cursoratlas
