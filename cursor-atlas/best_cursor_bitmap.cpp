#include "cursor-atlas/best_cursor_bitmap.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelvane::cursoratlas {

bool isUsableBitmap(const platform::CursorBitmap& bitmap) {
    return bitmap.pixelWidth > 0 && bitmap.pixelHeight > 0 &&
           bitmap.pixels.size() == std::size_t(bitmap.pixelWidth) * std::size_t(bitmap.pixelHeight);
}

const platform::CursorBitmap* bestCursorBitmap(const platform::CursorImage& image, double backingScale) {
    const double wantedWidth = std::round(image.pointWidth * backingScale);
    const double wantedHeight = std::round(image.pointHeight * backingScale);
    for (const platform::CursorBitmap& bitmap : image.representations) {
        if (isUsableBitmap(bitmap) && bitmap.pixelWidth == wantedWidth && bitmap.pixelHeight == wantedHeight) {
            return &bitmap;
        }
    }

    std::vector<const platform::CursorBitmap*> byArea;
    for (const platform::CursorBitmap& bitmap : image.representations) byArea.push_back(&bitmap);
    auto area = [](const platform::CursorBitmap* bitmap) {
        return std::int64_t(bitmap->pixelWidth) * std::int64_t(bitmap->pixelHeight);
    };
    std::stable_sort(byArea.begin(), byArea.end(), [&](auto* a, auto* b) { return area(a) > area(b); });
    for (const platform::CursorBitmap* bitmap : byArea) {
        if (isUsableBitmap(*bitmap)) return bitmap;
    }
    return nullptr;
}

}  // namespace kelvane::cursoratlas
