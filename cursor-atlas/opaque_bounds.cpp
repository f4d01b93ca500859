#include "cursor-atlas/opaque_bounds.h"

#include <cstring>

namespace kelvane::cursoratlas {

std::optional<PixelRect> findOpaqueBounds(const std::uint8_t* pixels, int width, int height, int strideBytes) {
    if (pixels == nullptr || width <= 0 || height <= 0) return std::nullopt;
    int minX = width, maxX = -1, minY = height, maxY = -1;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + std::ptrdiff_t(y) * strideBytes;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, sizeof pixel);
            if ((pixel >> 24) >= minimumOpaqueAlpha) {
                if (x < minX) minX = x;
                if (x > maxX) maxX = x;
                if (y < minY) minY = y;
                maxY = y;
            }
        }
    }
    if (maxX < 0) return std::nullopt;
    return PixelRect{minX, minY, maxX - minX + 1, maxY - minY + 1};
}

}  // namespace kelvane::cursoratlas
