#pragma once
// BGRA (full-range sRGB) to planar 4:2:0 in BT.709 limited range, the colours the video
// stream is tagged with. Each 2x2 block of pixels gives four luma samples and one chroma
// pair from the block's average and from nothing else, so any part of a picture can be
// converted on its own and comes out exactly as in a conversion of the whole.
#include <cstdint>

namespace kelvane::platform::ffmpeg {

struct Yuv420Planes {
    std::uint8_t* data[3] = {nullptr, nullptr, nullptr};
    int stride[3] = {0, 0, 0};
};

// Converts the `columns` x `rows` pixels at (`column`, `row`) of `bgra` (rows `stride`
// bytes apart, starting at the picture's top left) into the same place of `planes`.
// `column`, `row`, `columns` and `rows` are even.
void convertBgraToYuv420(const std::uint8_t* bgra, int stride, const Yuv420Planes& planes, int column, int row,
                         int columns, int rows);

}  // namespace kelvane::platform::ffmpeg
