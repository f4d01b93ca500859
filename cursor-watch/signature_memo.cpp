#include "cursor-watch/signature_memo.h"

namespace kelvane::cursorwatch {
namespace {

// Everything a signature reads: the sizes, the hotspot and the bitmap it draws.
bool sameDrawing(const platform::CursorImage& a, const platform::CursorImage& b) {
    if (a.pointWidth != b.pointWidth || a.pointHeight != b.pointHeight || a.hotspotX != b.hotspotX ||
        a.hotspotY != b.hotspotY || a.representations.empty() != b.representations.empty()) {
        return false;
    }
    if (a.representations.empty()) return true;
    const platform::CursorBitmap& first = a.representations.front();
    const platform::CursorBitmap& second = b.representations.front();
    return first.pixelWidth == second.pixelWidth && first.pixelHeight == second.pixelHeight &&
           first.pixels == second.pixels;
}

}  // namespace

const std::optional<CursorSignature>& SignatureMemo::signatureOf(const platform::CursorImage& image) {
    if (!lastImage_ || !sameDrawing(*lastImage_, image)) {
        lastSignature_ = signature(image, defaultSignatureSampleSize);
        lastImage_ = image;
    }
    return lastSignature_;
}

}  // namespace kelvane::cursorwatch
