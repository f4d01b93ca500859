#pragma once
// Reading "CURSOR_IMAGE:" lines back: split fields, undo base64, decode the PNG.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <cairo.h>

namespace kelvane::cursorwatch::testing {

inline std::vector<std::string> splitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = line.find(':', start);
        fields.emplace_back(line.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start));
        if (colon == std::string_view::npos) return fields;
        start = colon + 1;
    }
}

// Strict standard base64: whole groups of four, "=" only as padding at the end.
inline std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text) {
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t group = 0; group < text.size(); group += 4) {
        std::uint32_t bits = 0;
        int padding = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = text[group + i];
            const bool last = group + 4 == text.size();
            if (c == '=' && last && i >= 2) {
                ++padding;
                bits <<= 6;
                continue;
            }
            const std::size_t value = alphabet.find(c);
            if (value == std::string_view::npos || padding > 0) return std::nullopt;
            bits = (bits << 6) | static_cast<std::uint32_t>(value);
        }
        bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
        if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
        if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(bits));
    }
    return bytes;
}

struct DecodedPng {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // premultiplied ARGB32, rows without padding
};

inline std::optional<DecodedPng> decodePng(const std::vector<std::uint8_t>& png) {
    struct Reader {
        const std::vector<std::uint8_t>* bytes;
        std::size_t offset = 0;
    } reader{&png};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* source = static_cast<Reader*>(closure);
            if (source->bytes->size() - source->offset < length) return CAIRO_STATUS_READ_ERROR;
            std::copy_n(source->bytes->begin() + static_cast<std::ptrdiff_t>(source->offset), length, data);
            source->offset += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    std::optional<DecodedPng> decoded;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_t* argb = surface;
        DecodedPng image;
        image.width = cairo_image_surface_get_width(argb);
        image.height = cairo_image_surface_get_height(argb);
        const int stride = cairo_image_surface_get_stride(argb);
        const unsigned char* data = cairo_image_surface_get_data(argb);
        const bool hasAlpha = cairo_image_surface_get_format(argb) == CAIRO_FORMAT_ARGB32;
        for (int y = 0; y < image.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
            for (int x = 0; x < image.width; ++x) image.pixels.push_back(hasAlpha ? row[x] : (row[x] | 0xff000000u));
        }
        decoded = std::move(image);
    }
    cairo_surface_destroy(surface);
    return decoded;
}

}  // namespace kelvane::cursorwatch::testing
