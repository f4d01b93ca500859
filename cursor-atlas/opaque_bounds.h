#pragma once
// The smallest rectangle of whole pixels holding every pixel whose alpha is at least 3;
// fainter pixels count as transparent.
#include <cstdint>
#include <optional>

namespace kelvane::cursoratlas {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelRect&) const = default;
};

inline constexpr std::uint8_t minimumOpaqueAlpha = 3;

// `pixels`: ARGB32 words (alpha in the top byte), rows `strideBytes` apart. Nothing when
// no pixel is opaque enough or the bitmap is empty.
std::optional<PixelRect> findOpaqueBounds(const std::uint8_t* pixels, int width, int height, int strideBytes);

}  // namespace kelvane::cursoratlas
