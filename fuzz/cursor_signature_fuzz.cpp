// Feeds the cursor monitor's fingerprinting and image lines with cursor images built from
// random bytes: any bitmap size (including ones that disagree with the point size or
// with the pixel count), point sizes and hotspots of every double bit pattern. Nothing
// may crash; a signature must hold 32 x 32 samples of 0 or 255 and score 0 against
// itself; an image line must carry six fields.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cursor-watch/cursor_image_export.h"
#include "cursor-watch/cursor_signature.h"

namespace {

using kelvane::platform::CursorBitmap;
using kelvane::platform::CursorImage;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "cursor_signature_fuzz: %s\n", what);
    std::abort();
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }

    double number() {
        // Mostly small sizes that draw; sometimes any bit pattern at all.
        if (byte() % 4 != 0) return static_cast<double>(byte() % 80) / (1 + byte() % 4);
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

CursorImage imageFrom(Input& input) {
    CursorImage image;
    image.pointWidth = input.number();
    image.pointHeight = input.number();
    image.hotspotX = input.number();
    image.hotspotY = input.number();
    const int representations = input.byte() % 3;
    for (int r = 0; r < representations; ++r) {
        CursorBitmap bitmap;
        bitmap.pixelWidth = static_cast<int>(input.byte() % 70) - 2;
        bitmap.pixelHeight = static_cast<int>(input.byte() % 70) - 2;
        const int declared = std::max(bitmap.pixelWidth, 0) * std::max(bitmap.pixelHeight, 0);
        // Now and then fewer pixels than the size claims.
        const int count = input.byte() % 8 == 0 ? declared / 2 : declared;
        for (int i = 0; i < count; ++i) bitmap.pixels.push_back(input.word());
        image.representations.push_back(std::move(bitmap));
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const CursorImage image = imageFrom(input);

    if (const auto result = kelvane::cursorwatch::signature(image)) {
        if (result->shapeSamples.size() != 1024) fail("signature without 32 x 32 samples");
        for (const std::uint8_t sample : result->shapeSamples) {
            if (sample != 0 && sample != 255) fail("sample other than 0 or 255");
        }
        if (kelvane::cursorwatch::signatureScore(*result, *result) != 0) fail("signature not at distance 0 from itself");
    }
    if (const auto line = kelvane::cursorwatch::cursorImageLine("arrow", image)) {
        if (std::count(line->begin(), line->end(), ':') != 5) fail("image line without six fields");
        if (line->find('\n') != std::string::npos) fail("image line with a line break");
    }
    return 0;
}
