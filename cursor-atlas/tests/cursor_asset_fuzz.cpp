// Random small cursors through the whole asset pipeline: whatever the sizes, hotspot and
// pixels, an asset is either absent or a PNG of the stated size with finite numbers.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cursor-atlas/cursor_asset.h"
#include "cursor-atlas/tests/decoded_png.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvane;
    if (size < 7) return 0;
    const int pixelWidth = data[0] % 48 + 1;
    const int pixelHeight = data[1] % 48 + 1;
    platform::CursorImage cursor;
    cursor.pointWidth = data[2] / 4.0;
    cursor.pointHeight = data[3] / 4.0;
    cursor.hotspotX = static_cast<std::int8_t>(data[4]);
    cursor.hotspotY = static_cast<std::int8_t>(data[5]);
    cursoratlas::CursorAssetSettings settings;
    settings.displayBackingScale = 1 + data[6] % 2;

    const std::uint8_t* pattern = data + 7;
    const std::size_t patternSize = size - 7;
    cursor.representations.push_back(cursoratlas::testing::drawBitmap(pixelWidth, pixelHeight, [&](int x, int y) {
        if (patternSize == 0) return 0u;
        const std::uint32_t alpha = pattern[std::size_t(y * pixelWidth + x) % patternSize];
        // Premultiplied: no channel above alpha.
        return alpha << 24 | (alpha / 2) << 16 | (alpha / 3) << 8 | alpha;
    }));

    std::optional<cursoratlas::CursorAsset> asset = cursoratlas::makeAsset(cursor, settings);
    if (!asset) return 0;
    require(asset->height == 1024);
    require(asset->width >= 1 && asset->width == std::floor(asset->width));
    require(std::isfinite(asset->hotspotX) && std::isfinite(asset->hotspotY));
    std::optional<cursoratlas::testing::DecodedPng> png = cursoratlas::testing::decodeDataUrl(asset->dataUrl);
    require(png && png->width == asset->width && png->height == 1024);
    return 0;
}
