#pragma once
// Cursor images drawn from simple rules, for tests that need exact pixel content.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "platform/cursor_image.h"
#include "platform/standard_cursors.h"

namespace kelvane::cursorwatch::testing {

// Premultiplied ARGB32 of a grey pixel with the given alpha.
inline std::uint32_t greyPixel(std::uint8_t alpha) {
    const std::uint32_t level = alpha / 2u;
    return (std::uint32_t{alpha} << 24) | (level << 16) | (level << 8) | level;
}

// An image of w x h points whose one bitmap has one pixel per point; `alphaAt(x, y)`
// gives each pixel's alpha.
inline platform::CursorImage syntheticCursor(int width, int height, double hotspotX, double hotspotY,
                                             const std::function<std::uint8_t(int, int)>& alphaAt) {
    platform::CursorImage image;
    image.pointWidth = width;
    image.pointHeight = height;
    image.hotspotX = hotspotX;
    image.hotspotY = hotspotY;
    platform::CursorBitmap bitmap;
    bitmap.pixelWidth = width;
    bitmap.pixelHeight = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) bitmap.pixels.push_back(greyPixel(alphaAt(x, y)));
    }
    image.representations.push_back(std::move(bitmap));
    return image;
}

inline platform::CursorImage solidCursor(int width, int height, std::uint8_t alpha = 255) {
    return syntheticCursor(width, height, 0, 0, [alpha](int, int) { return alpha; });
}

// Standard cursors from a table; cursors not in the table are missing from the theme.
class TableStandardCursors final : public platform::StandardCursors {
public:
    std::map<platform::StandardCursor, platform::CursorImage> images;
    std::vector<platform::StandardCursor> requested;

    std::optional<platform::CursorImage> image(platform::StandardCursor cursor) override {
        requested.push_back(cursor);
        const auto found = images.find(cursor);
        if (found == images.end()) return std::nullopt;
        return found->second;
    }
};

}  // namespace kelvane::cursorwatch::testing
