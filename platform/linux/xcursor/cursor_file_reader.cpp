#include "platform/linux/xcursor/cursor_file_reader.h"

#include <X11/Xcursor/Xcursor.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

namespace kelvane::platform::xcursor {
namespace {

struct ImagesDeleter {
    void operator()(XcursorImages* images) const { XcursorImagesDestroy(images); }
};

CursorBitmap bitmapOf(const XcursorImage& image) {
    CursorBitmap bitmap;
    bitmap.pixelWidth = static_cast<int>(image.width);
    bitmap.pixelHeight = static_cast<int>(image.height);
    bitmap.pixels.assign(image.pixels, image.pixels + std::size_t(image.width) * image.height);
    return bitmap;
}

bool isUsable(const XcursorImage* image) {
    return image != nullptr && image->pixels != nullptr && image->width > 0 && image->height > 0;
}

}  // namespace

std::optional<CursorImage> readCursorFile(const std::string& path, int defaultSize) {
    std::unique_ptr<XcursorImages, ImagesDeleter> images(XcursorFilenameLoadAllImages(path.c_str()));
    if (!images) return std::nullopt;

    // First frame of each nominal size, by size.
    std::map<XcursorDim, const XcursorImage*> firstFrames;
    for (int i = 0; i < images->nimage; ++i) {
        const XcursorImage* image = images->images[i];
        if (isUsable(image)) firstFrames.try_emplace(image->size, image);
    }
    if (firstFrames.empty()) return std::nullopt;

    auto distance = [defaultSize](XcursorDim size) { return std::abs(static_cast<long>(size) - defaultSize); };
    auto nearest = std::min_element(firstFrames.begin(), firstFrames.end(), [&](const auto& a, const auto& b) {
        return distance(a.first) < distance(b.first);
    });
    const XcursorImage& scaleOne = *nearest->second;

    CursorImage cursor;
    cursor.pointWidth = scaleOne.width;
    cursor.pointHeight = scaleOne.height;
    cursor.hotspotX = scaleOne.xhot;
    cursor.hotspotY = scaleOne.yhot;
    cursor.representations.push_back(bitmapOf(scaleOne));
    for (const auto& [size, image] : firstFrames) {
        if (image != &scaleOne) cursor.representations.push_back(bitmapOf(*image));
    }
    return cursor;
}

}  // namespace kelvane::platform::xcursor
