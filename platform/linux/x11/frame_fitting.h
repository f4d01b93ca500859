#pragma once
// Puts a captured image into a recording's fixed frame size: the image is scaled to fit
// with its aspect ratio kept and centred, the rest of the frame is black, and every
// pixel comes out opaque (X leaves the fourth byte of a 24-bit visual undefined).
#include <cstdint>

#include "platform/sample_buffer.h"

struct SwsContext;

namespace kelvane::platform::x11 {

// Where a source image lands inside the frame, in whole pixels.
struct FittedArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const FittedArea&, const FittedArea&) = default;
};

// The largest centred area of the frame with the source's aspect ratio, at least 1x1.
FittedArea fitInto(int sourceWidth, int sourceHeight, int frameWidth, int frameHeight);

// Copies `pixels` BGRA pixels with their fourth byte set opaque; `target` may be `source`.
void copyOpaque(std::uint8_t* target, const std::uint8_t* source, int pixels);

// BGRA pixels with 32 bits per pixel, rows `stride` bytes apart.
struct SourceImage {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    // Every fourth byte is already 0xff.
    bool opaque = false;
};

class FrameFitter {
public:
    FrameFitter(int frameWidth, int frameHeight);
    ~FrameFitter();
    FrameFitter(const FrameFitter&) = delete;
    FrameFitter& operator=(const FrameFitter&) = delete;

    VideoFrame fit(const SourceImage& image);

private:
    int frameWidth_;
    int frameHeight_;
    SwsContext* scaler_ = nullptr;
};

}  // namespace kelvane::platform::x11
