#pragma once
// Picks the bitmap that stands for a cursor image: the representation drawn at the
// display's backing scale when there is one, else the largest usable representation
// (by pixel area; among equal areas the earlier one).
#include "platform/cursor_image.h"

namespace kelvane::cursoratlas {

// Usable: a positive pixel size and exactly one pixel per position.
bool isUsableBitmap(const platform::CursorBitmap& bitmap);

// Nothing when no representation is usable. The result points into `image`.
const platform::CursorBitmap* bestCursorBitmap(const platform::CursorImage& image, double backingScale);

}  // namespace kelvane::cursoratlas
