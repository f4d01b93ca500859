#include "cursor-atlas/png_encoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "cursor-atlas/tests/decoded_png.h"

namespace kelvane::cursoratlas {
namespace {

std::string dataUrlOf(const std::string& png) {
    gchar* base64 = g_base64_encode(reinterpret_cast<const guchar*>(png.data()), png.size());
    std::string url = std::string("data:image/png;base64,") + base64;
    g_free(base64);
    return url;
}

TEST(PngEncoder, ReadsBackLikeCairosOwnWriterForEveryAlpha) {
    // Row y holds every alpha value with premultiplied colours; rows repeat in pairs so
    // the repeated-row path is taken too.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 256, 6);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < 6; ++y) {
        for (std::uint32_t a = 0; a < 256; ++a) {
            const std::uint32_t pixel = a << 24 | (a * (y / 2 + 1) / 3) << 16 | (a / 2) << 8 | (a * 7 / 8);
            std::memcpy(data + y * stride + 4 * a, &pixel, 4);
        }
    }
    cairo_surface_mark_dirty(surface);

    std::string cairoPng;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* out, const unsigned char* bytes, unsigned int length) {
            static_cast<std::string*>(out)->append(reinterpret_cast<const char*>(bytes), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &cairoPng);
    std::optional<std::string> ours = encodePng(surface);
    cairo_surface_destroy(surface);

    ASSERT_TRUE(ours);
    std::optional<testing::DecodedPng> expected = testing::decodeDataUrl(dataUrlOf(cairoPng));
    std::optional<testing::DecodedPng> actual = testing::decodeDataUrl(dataUrlOf(*ours));
    ASSERT_TRUE(expected && actual);
    EXPECT_EQ(actual->width, 256);
    EXPECT_EQ(actual->height, 6);
    EXPECT_EQ(actual->pixels, expected->pixels);
}

TEST(PngEncoder, RefusesSurfacesItCannotRead) {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, 4, 4);
    EXPECT_EQ(encodePng(mask), std::nullopt);
    cairo_surface_destroy(mask);
    cairo_surface_t* broken = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, -1, 4);
    EXPECT_EQ(encodePng(broken), std::nullopt);
    cairo_surface_destroy(broken);
}

}  // namespace
}  // namespace kelvane::cursoratlas
