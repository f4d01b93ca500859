#pragma once
// Reads one Xcursor file into a cursor image. The file holds the cursor at one or more
// nominal sizes (and, for animated cursors, several frames per size); the first frame of
// the size nearest `defaultSize` (the smaller one on a tie) is the image at scale 1 and
// gives the size and hotspot in points; the first frames of the other sizes follow it as
// further representations, smallest first.
#include <optional>
#include <string>

#include "platform/cursor_image.h"

namespace kelvane::platform::xcursor {

std::optional<CursorImage> readCursorFile(const std::string& path, int defaultSize);

}  // namespace kelvane::platform::xcursor
