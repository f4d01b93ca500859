#pragma once
// Brings rows of a kept picture up to date from a fresh read of the same place, and
// tells where they differed: a program that redraws its whole window to move one box in
// it has changed only the box.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/sample_buffer.h"

namespace kelvane::platform::x11 {

// Copies each of `rows` rows of `pixels` four-byte pixels from `fresh` (rows
// `freshStride` bytes apart) over `kept` (rows `keptStride` bytes apart) where the two
// differ. Returns the box around the differing pixels, widened to whole chunks of 32
// pixels and relative to the first pixel of the first row; nothing when all were equal.
std::optional<FrameRect> copyChangedRows(std::uint8_t* kept, std::size_t keptStride, const std::uint8_t* fresh,
                                         std::size_t freshStride, int pixels, int rows);

}  // namespace kelvane::platform::x11
