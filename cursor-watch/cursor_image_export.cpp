#include "cursor-watch/cursor_image_export.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "common/base64.h"
#include "common/number_text.h"
#include "cursor-watch/cairo_cursor_surface.h"
#include "cursor-watch/cursor_names.h"

namespace kelvane::cursorwatch {
namespace {

cairo_status_t appendToVector(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> cursorPng(const platform::CursorImage& image) {
    if (image.representations.empty()) return std::nullopt;
    CairoSurface surface = cairoSurfaceFor(image.representations.front());
    if (!surface) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    if (cairo_surface_write_to_png_stream(surface.get(), appendToVector, &bytes) != CAIRO_STATUS_SUCCESS) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> cursorImageLine(std::string_view name, const platform::CursorImage& image) {
    const double width = image.pointWidth;
    const double height = image.pointHeight;
    if (!(width > 0) || !(height > 0)) return std::nullopt;
    const std::optional<std::vector<std::uint8_t>> png = cursorPng(image);
    if (!png) return std::nullopt;

    const double numbers[] = {image.hotspotX / width, image.hotspotY / height, width / height};
    // "inf" or "nan" would mean nothing to the host; such a cursor is left out.
    if (!std::all_of(std::begin(numbers), std::end(numbers), [](double number) { return std::isfinite(number); })) {
        return std::nullopt;
    }

    std::string line = "CURSOR_IMAGE:";
    line += name;
    for (const double number : numbers) {
        line += ':';
        line += common::fractionalNumberText(number);
    }
    line += ':';
    line += common::base64Encode(*png);
    return line;
}

void exportCursorImages(platform::StandardCursors& cursors, const std::function<void(std::string_view)>& writeLine) {
    for (const CursorCandidate& entry : exportedCursorTable) {
        const std::optional<platform::CursorImage> image = cursors.image(entry.cursor);
        if (!image) continue;
        if (const std::optional<std::string> line = cursorImageLine(entry.name, *image)) writeLine(*line);
    }
}

}  // namespace kelvane::cursorwatch
