#pragma once
// Remembers the signature of the last cursor image seen. A pointer that sits still shows
// the same image poll after poll, and drawing it is most of a poll's cost; since the
// signature depends on nothing but the image, an identical image gets the same
// signature without being drawn again. Any change to the image, a single pixel or the
// hotspot, draws it afresh. Not thread-safe: one caller at a time.
#include <optional>

#include "cursor-watch/cursor_signature.h"
#include "platform/cursor_image.h"

namespace kelvane::cursorwatch {

class SignatureMemo {
public:
    const std::optional<CursorSignature>& signatureOf(const platform::CursorImage& image);

private:
    std::optional<platform::CursorImage> lastImage_;
    std::optional<CursorSignature> lastSignature_;
};

}  // namespace kelvane::cursorwatch
