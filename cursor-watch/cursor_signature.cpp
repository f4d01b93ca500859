#include "cursor-watch/cursor_signature.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cursor-watch/cairo_cursor_surface.h"

namespace kelvane::cursorwatch {
namespace {

// Alpha values below this count as transparent; it keeps the faint outer rim of a
// smoothed cursor out of the mask.
constexpr std::uint8_t opaqueAlphaFloor = 25;
constexpr double aspectWeight = 1800;
constexpr double hotspotWeight = 2200;
// A drawn side thinner than this covers no sample visibly, and scaling by a factor this
// small leaves cairo with a matrix it cannot invert; such a picture is left undrawn.
constexpr double thinnestDrawnSide = 1.0 / 1024;

// Draws the image's scale-1 bitmap into the square, scaled by the same factor along both
// axes so it touches two opposite edges and is centred along the other axis.
bool drawCentred(cairo_t* context, const platform::CursorImage& image, int sampleSize) {
    const platform::CursorBitmap& bitmap = image.representations.front();
    CairoSurface source = cairoSurfaceFor(bitmap);
    if (!source) return false;

    const double side = sampleSize;
    const double scale = std::min(side / image.pointHeight, side / image.pointWidth);
    const double drawnWidth = image.pointWidth * scale;
    const double drawnHeight = image.pointHeight * scale;

    if (drawnWidth < thinnestDrawnSide || drawnHeight < thinnestDrawnSide) return true;

    cairo_translate(context, (side - drawnWidth) * 0.5, (side - drawnHeight) * 0.5);
    cairo_scale(context, drawnWidth / bitmap.pixelWidth, drawnHeight / bitmap.pixelHeight);
    cairo_set_source_surface(context, source.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(context), CAIRO_FILTER_BEST);
    cairo_set_operator(context, CAIRO_OPERATOR_SOURCE);
    cairo_rectangle(context, 0, 0, bitmap.pixelWidth, bitmap.pixelHeight);
    cairo_fill(context);
    return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

// A weighted difference truncated toward zero. Differences of absurd hotspots can reach
// infinity, which no integer holds; they are capped far above any acceptance limit.
std::int64_t weightedTerm(double difference, double weight) {
    constexpr double cap = 9007199254740992.0;  // 2^53
    const double term = difference * weight;
    if (!(term < cap)) return static_cast<std::int64_t>(cap);
    return static_cast<std::int64_t>(term);
}

}  // namespace

std::optional<CursorSignature> signature(const platform::CursorImage& image, int sampleSize) {
    if (!(image.pointWidth > 0) || !(image.pointHeight > 0) || sampleSize <= 0) return std::nullopt;
    if (!std::isfinite(image.pointWidth) || !std::isfinite(image.pointHeight) || !std::isfinite(image.hotspotX) ||
        !std::isfinite(image.hotspotY)) {
        return std::nullopt;
    }
    if (image.representations.empty()) return std::nullopt;

    CairoSurface square(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, sampleSize, sampleSize));
    if (cairo_surface_status(square.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    {
        CairoContext context(cairo_create(square.get()));
        if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
        if (!drawCentred(context.get(), image, sampleSize)) return std::nullopt;
    }
    cairo_surface_flush(square.get());

    const unsigned char* data = cairo_image_surface_get_data(square.get());
    if (data == nullptr) return std::nullopt;
    const int stride = cairo_image_surface_get_stride(square.get());

    CursorSignature result;
    result.shapeSamples.reserve(static_cast<std::size_t>(sampleSize) * static_cast<std::size_t>(sampleSize));
    for (int y = 0; y < sampleSize; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < sampleSize; ++x) {
            const auto alpha = static_cast<std::uint8_t>(row[x] >> 24);
            result.shapeSamples.push_back(alpha >= opaqueAlphaFloor ? 255 : 0);
        }
    }
    result.aspectRatio = image.pointWidth / std::max(image.pointHeight, 1.0);
    result.hotspotXRatio = image.hotspotX / std::max(image.pointWidth, 1.0);
    result.hotspotYRatio = image.hotspotY / std::max(image.pointHeight, 1.0);
    return result;
}

std::int64_t signatureScore(const CursorSignature& a, const CursorSignature& b) {
    const std::size_t count = std::min(a.shapeSamples.size(), b.shapeSamples.size());
    std::int64_t shape = 0;
    for (std::size_t i = 0; i < count; ++i) {
        shape += std::abs(static_cast<int>(a.shapeSamples[i]) - static_cast<int>(b.shapeSamples[i]));
    }
    // Truncation toward zero is the rounding the weights were tuned with.
    const std::int64_t aspect = weightedTerm(std::fabs(a.aspectRatio - b.aspectRatio), aspectWeight);
    const std::int64_t hotspot = weightedTerm(
        std::fabs(a.hotspotXRatio - b.hotspotXRatio) + std::fabs(a.hotspotYRatio - b.hotspotYRatio), hotspotWeight);
    return shape + aspect + hotspot;
}

}  // namespace kelvane::cursorwatch
