#include "platform/linux/x11/changed_rows.h"

#include <algorithm>
#include <cstring>

namespace kelvane::platform::x11 {

std::optional<FrameRect> copyChangedRows(std::uint8_t* kept, std::size_t keptStride, const std::uint8_t* fresh,
                                         std::size_t freshStride, int pixels, int rows) {
    // Looked at a chunk at a time from each end of a differing row: finding the exact
    // pixel costs more than handing on the rest of its chunk.
    constexpr int chunk = 32;
    const int chunks = (pixels + chunk - 1) / chunk;
    const std::size_t rowBytes = static_cast<std::size_t>(pixels) * 4;
    int firstChunk = chunks, endChunk = 0, firstRow = rows, endRow = 0;
    for (int row = 0; row < rows; ++row) {
        std::uint8_t* before = kept + static_cast<std::size_t>(row) * keptStride;
        const std::uint8_t* now = fresh + static_cast<std::size_t>(row) * freshStride;
        if (std::memcmp(before, now, rowBytes) == 0) continue;
        auto differs = [&](int index) {
            const std::size_t offset = static_cast<std::size_t>(index) * chunk * 4;
            const std::size_t bytes = std::min<std::size_t>(chunk * 4, rowBytes - offset);
            return std::memcmp(before + offset, now + offset, bytes) != 0;
        };
        int first = 0;
        while (first < firstChunk && !differs(first)) ++first;
        int end = chunks;
        while (end > endChunk && !differs(end - 1)) --end;
        firstChunk = std::min(firstChunk, first);
        endChunk = std::max(endChunk, end);
        firstRow = std::min(firstRow, row);
        endRow = row + 1;
        std::memcpy(before, now, rowBytes);
    }
    if (firstRow >= endRow) return std::nullopt;
    const int left = firstChunk * chunk;
    return FrameRect{left, firstRow, std::min(pixels, endChunk * chunk) - left, endRow - firstRow};
}

}  // namespace kelvane::platform::x11
