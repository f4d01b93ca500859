#include "bench/writer/screen_content.h"

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <string>

namespace kelvane::bench {
namespace {

constexpr int titleHeight = 40;
constexpr int sidebarWidth = 320;
constexpr int lineHeight = 22;

const char* const words[] = {"const", "auto", "return", "writer", "frame", "if", "for", "std::vector", "=", "{",
                             "}", "timeline", "packet", "->", "append(", ");", "session", "0x61616320", "// note",
                             "encoder", "mux", "while", "true", "nullptr"};

void paintPage(cairo_t* cairo, int pageHeight) {
    cairo_set_source_rgb(cairo, 0.12, 0.12, 0.14);
    cairo_paint(cairo);
    cairo_select_font_face(cairo, "monospace", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, 16);
    std::uint32_t seed = 7;
    for (int line = 0; line * lineHeight < pageHeight; ++line) {
        const double y = (line + 1) * lineHeight - 5;
        cairo_set_source_rgb(cairo, 0.45, 0.45, 0.5);
        cairo_move_to(cairo, sidebarWidth + 10, y);
        cairo_show_text(cairo, std::to_string(line + 1).c_str());
        seed = seed * 1664525u + 1013904223u;
        const int indent = static_cast<int>((seed >> 28) % 4);
        double x = sidebarWidth + 80 + indent * 32;
        const int count = 2 + static_cast<int>((seed >> 8) % 9);
        for (int w = 0; w < count; ++w) {
            seed = seed * 1664525u + 1013904223u;
            const char* word = words[(seed >> 16) % (sizeof words / sizeof *words)];
            const int colour = static_cast<int>((seed >> 4) % 4);
            const double palette[4][3] = {{0.85, 0.85, 0.85}, {0.4, 0.7, 1.0}, {0.9, 0.6, 0.3}, {0.5, 0.8, 0.5}};
            cairo_set_source_rgb(cairo, palette[colour][0], palette[colour][1], palette[colour][2]);
            cairo_move_to(cairo, x, y);
            cairo_show_text(cairo, word);
            cairo_text_extents_t extents;
            cairo_text_extents(cairo, word, &extents);
            x += extents.x_advance + 9;
        }
    }
}

void paintChrome(cairo_t* cairo) {
    cairo_set_source_rgb(cairo, 0.22, 0.22, 0.25);
    cairo_rectangle(cairo, 0, 0, ScreenContent::width, titleHeight);
    cairo_fill(cairo);
    cairo_set_source_rgb(cairo, 0.17, 0.17, 0.19);
    cairo_rectangle(cairo, 0, titleHeight, sidebarWidth, ScreenContent::height - titleHeight);
    cairo_fill(cairo);
    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, 15);
    cairo_set_source_rgb(cairo, 0.9, 0.9, 0.9);
    cairo_move_to(cairo, 16, 26);
    cairo_show_text(cairo, "media_writer.cpp - project");
    for (int i = 0; i < 30; ++i) {
        cairo_move_to(cairo, 24, titleHeight + 30 + i * 28);
        cairo_show_text(cairo, ("source_file_" + std::to_string(i) + ".cpp").c_str());
    }
}

std::vector<std::uint8_t> render(int height, void (*paint)(cairo_t*, int)) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, ScreenContent::width, height);
    cairo_t* cairo = cairo_create(surface);
    paint(cairo, height);
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(ScreenContent::width) * 4 * static_cast<std::size_t>(height));
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[static_cast<std::size_t>(y) * ScreenContent::width * 4], data + static_cast<std::size_t>(y) * stride,
                    ScreenContent::width * 4);
    cairo_surface_destroy(surface);
    return pixels;
}

}  // namespace

ScreenContent::ScreenContent(int frames) : pageHeight_(height + frames * scrollPerFrame) {
    page_ = render(pageHeight_, paintPage);
    chrome_ = render(height, [](cairo_t* cairo, int) { paintChrome(cairo); });
}

void ScreenContent::frame(int index, std::vector<std::uint8_t>& pixels) const {
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    pixels.resize(row * height);
    const std::size_t offset = static_cast<std::size_t>(index) * scrollPerFrame;
    std::memcpy(pixels.data(), &page_[offset * row], row * height);
    for (int y = 0; y < height; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * row;
        const std::size_t chromeBytes = y < titleHeight ? row : static_cast<std::size_t>(sidebarWidth) * 4;
        std::memcpy(&pixels[at], &chrome_[at], chromeBytes);
    }
}

std::vector<float> chordSamples(std::int64_t first, int frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(first + i) / 48000.0;
        const double left = 0.1 * std::sin(2 * M_PI * 261.63 * t) + 0.08 * std::sin(2 * M_PI * 329.63 * t);
        const double right = 0.1 * std::sin(2 * M_PI * 392.0 * t) + 0.05 * std::sin(2 * M_PI * 523.25 * t * (1 + 0.001 * std::sin(t)));
        samples[static_cast<std::size_t>(i) * 2] = static_cast<float>(left);
        samples[static_cast<std::size_t>(i) * 2 + 1] = static_cast<float>(right);
    }
    return samples;
}

}  // namespace kelvane::bench
