#pragma once
// Export mode: one "CURSOR_IMAGE:" line per exported cursor, with the image as base64 PNG.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cursor_image.h"
#include "platform/standard_cursors.h"

namespace kelvane::cursorwatch {

// The image's scale-1 bitmap as PNG bytes; nothing when it has none or cannot be encoded.
std::optional<std::vector<std::uint8_t>> cursorPng(const platform::CursorImage& image);

// "CURSOR_IMAGE:<name>:<hotspot x ratio>:<hotspot y ratio>:<aspect>:<base64 PNG>", or
// nothing when the image is empty or cannot be encoded. The ratios are the plain
// quotients: unlike signatures, nothing here is clamped.
std::optional<std::string> cursorImageLine(std::string_view name, const platform::CursorImage& image);

// Writes the line of every exported cursor that can be read and encoded, in vocabulary
// order, skipping the others.
void exportCursorImages(platform::StandardCursors& cursors, const std::function<void(std::string_view)>& writeLine);

}  // namespace kelvane::cursorwatch
