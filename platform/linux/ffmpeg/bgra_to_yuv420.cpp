#include "platform/linux/ffmpeg/bgra_to_yuv420.h"

#include "platform/linux/avx2_clones.h"

#include <cstddef>
#include <cstring>

namespace kelvane::platform::ffmpeg {
namespace {

// BT.709 (Kr 0.2126, Kb 0.0722) scaled to 16..235 luma and 16..240 chroma, in 1/65536.
constexpr int lumaRed = 11966, lumaGreen = 40254, lumaBlue = 4064;
constexpr int blueDifferenceRed = -6596, blueDifferenceGreen = -22188, blueDifferenceBlue = 28784;
constexpr int redDifferenceRed = 28784, redDifferenceGreen = -26145, redDifferenceBlue = -2639;
constexpr int lumaOffset = (16 << 16) + (1 << 15);
// Chroma comes from the sum of four pixels: two more bits to drop.
constexpr int chromaOffset = (128 << 18) + (1 << 17);

std::uint32_t pixelAt(const std::uint8_t* row, int index) {
    std::uint32_t word;
    std::memcpy(&word, row + static_cast<std::size_t>(index) * 4, 4);
    return word;
}

// Plain loops over whole 32-bit pixels, which the compiler vectorises; the AVX2 copy is
// picked at load time where the processor has it.
KELVANE_AVX2_CLONES void lumaRow(const std::uint8_t* __restrict source, std::uint8_t* __restrict luma,
                                 int pixels) {
    for (int i = 0; i < pixels; ++i) {
        const std::uint32_t pixel = pixelAt(source, i);
        const int blue = static_cast<int>(pixel & 0xff);
        const int green = static_cast<int>((pixel >> 8) & 0xff);
        const int red = static_cast<int>((pixel >> 16) & 0xff);
        luma[i] = static_cast<std::uint8_t>((lumaRed * red + lumaGreen * green + lumaBlue * blue + lumaOffset) >> 16);
    }
}

KELVANE_AVX2_CLONES void chromaRow(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                                   std::uint8_t* __restrict blueDifference,
                                   std::uint8_t* __restrict redDifference, int pairs) {
    for (int i = 0; i < pairs; ++i) {
        const std::uint32_t a = pixelAt(top, 2 * i), b = pixelAt(top, 2 * i + 1);
        const std::uint32_t c = pixelAt(bottom, 2 * i), d = pixelAt(bottom, 2 * i + 1);
        const int blue = static_cast<int>((a & 0xff) + (b & 0xff) + (c & 0xff) + (d & 0xff));
        const int green = static_cast<int>(((a >> 8) & 0xff) + ((b >> 8) & 0xff) + ((c >> 8) & 0xff) + ((d >> 8) & 0xff));
        const int red =
            static_cast<int>(((a >> 16) & 0xff) + ((b >> 16) & 0xff) + ((c >> 16) & 0xff) + ((d >> 16) & 0xff));
        blueDifference[i] = static_cast<std::uint8_t>(
            (blueDifferenceRed * red + blueDifferenceGreen * green + blueDifferenceBlue * blue + chromaOffset) >> 18);
        redDifference[i] = static_cast<std::uint8_t>(
            (redDifferenceRed * red + redDifferenceGreen * green + redDifferenceBlue * blue + chromaOffset) >> 18);
    }
}

}  // namespace

void convertBgraToYuv420(const std::uint8_t* bgra, int stride, const Yuv420Planes& planes, int column, int row,
                         int columns, int rows) {
    for (int y = row; y < row + rows; y += 2) {
        const std::uint8_t* top = bgra + static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(column) * 4;
        const std::uint8_t* bottom = top + stride;
        std::uint8_t* lumaTop = planes.data[0] + static_cast<std::ptrdiff_t>(y) * planes.stride[0] + column;
        lumaRow(top, lumaTop, columns);
        lumaRow(bottom, lumaTop + planes.stride[0], columns);
        const std::ptrdiff_t chromaRowIndex = y / 2;
        chromaRow(top, bottom, planes.data[1] + chromaRowIndex * planes.stride[1] + column / 2,
                  planes.data[2] + chromaRowIndex * planes.stride[2] + column / 2, columns / 2);
    }
}

}  // namespace kelvane::platform::ffmpeg
