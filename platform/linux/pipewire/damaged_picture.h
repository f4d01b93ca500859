#pragma once
// The latest picture of a screen-cast stream, kept up to date from buffers that each say
// which rectangles changed, and read by another thread at its own pace.
//
// The stream's thread writes only the damaged rectangles of each buffer into the picture
// and notes them; the reader copies what was noted since its last read into a picture of
// its own, which it may then read at leisure while the stream goes on.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/sample_buffer.h"

namespace kelvane::platform::pipewire {

// A rectangle in picture pixels: the same kind a frame lists its changes in.
using PixelRect = FrameRect;

// The part of `a` inside `b`; an empty rectangle (zero width or height) when none.
PixelRect intersection(const PixelRect& a, const PixelRect& b);

// One buffer as the stream maps it: rows `stride` bytes apart, four bytes per pixel in
// the order B, G, R and a fourth byte that is alpha or undefined.
struct BufferPixels {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

class DamagedPicture {
public:
    // Takes what `damage` marks as changed in `buffer` (all of it when there is no list, or
    // when the size changed); an empty list takes nothing. Rectangles are clipped to the
    // buffer. Returns whether anything was taken.
    bool apply(const BufferPixels& buffer, std::optional<std::span<const PixelRect>> damage);

    // Whether anything taken since the last read lies in `area`.
    bool damaged(const PixelRect& area) const;

    // Brings `target` (packed opaque BGRA rows, resized as needed) up to date: with what
    // changed since the last read, or wholly when `whole` or its size differs. Forgets
    // the changes. Returns the picture's size as a rectangle at 0,0.
    PixelRect readInto(std::vector<std::uint8_t>& target, bool whole);
    // The rectangles the last read brought up to date; nothing when it copied all.
    const std::optional<std::vector<PixelRect>>& lastCopied() const { return lastCopied_; }

private:
    void copyRect(const BufferPixels& buffer, const PixelRect& rect);

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
    std::vector<PixelRect> changed_;
    std::optional<std::vector<PixelRect>> lastCopied_;
};

}  // namespace kelvane::platform::pipewire
