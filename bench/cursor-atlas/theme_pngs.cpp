// Writes the bitmap the atlas starts from for each of its nine cursors (the theme image at
// the default size) as <folder>/<name>.png, so another tool can be timed on the same
// pictures, and prints which theme file each name came from.
#include <cairo.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/line_output.h"
#include "cursor-watch/cursor_names.h"
#include "platform/linux/xcursor/cursor_file_reader.h"
#include "platform/linux/xcursor/cursor_theme_files.h"
#include "platform/linux/xcursor/cursor_theme_settings.h"
#include "platform/linux/xcursor/theme_cursor_names.h"

int main(int argc, char** argv) {
    using namespace kelvane::platform;
    if (argc != 2) {
        kelvane::common::writeErrorLine("usage: bench-cursor-theme-pngs <output folder>");
        return 2;
    }
    const xcursor::CursorThemeSettings settings = xcursor::currentCursorThemeSettings();
    const xcursor::CursorThemeFiles files(xcursor::cursorSearchDirectories(), settings.theme);
    int failures = 0;
    for (const auto& [name, cursor] : kelvane::cursorwatch::exportedCursorTable) {
        std::optional<std::string> file = files.find(xcursor::themeCursorNames(cursor));
        std::optional<CursorImage> image = file ? xcursor::readCursorFile(*file, settings.size) : std::nullopt;
        if (!image) {
            kelvane::common::writeErrorLine(std::string(name) + ": no cursor in theme " + settings.theme);
            ++failures;
            continue;
        }
        const CursorBitmap& bitmap = image->representations.front();
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bitmap.pixelWidth, bitmap.pixelHeight);
        unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < bitmap.pixelHeight; ++y) {
            std::memcpy(data + y * stride, &bitmap.pixels[std::size_t(y) * bitmap.pixelWidth], std::size_t(bitmap.pixelWidth) * 4);
        }
        cairo_surface_mark_dirty(surface);
        const std::string png = std::string(argv[1]) + "/" + std::string(name) + ".png";
        if (cairo_surface_write_to_png(surface, png.c_str()) != CAIRO_STATUS_SUCCESS) ++failures;
        cairo_surface_destroy(surface);
        kelvane::common::writeOutputLine(std::string(name) + " " + *file + " " + std::to_string(bitmap.pixelWidth) + "x" +
                                         std::to_string(bitmap.pixelHeight));
    }
    return failures == 0 ? 0 : 1;
}
