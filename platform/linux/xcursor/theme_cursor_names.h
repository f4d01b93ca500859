#pragma once
// The theme cursor names that stand for each standard cursor: the freedesktop name first,
// then the older X names that themes still ship.
#include <span>
#include <string_view>

#include "platform/standard_cursors.h"

namespace kelvane::platform::xcursor {

std::span<const std::string_view> themeCursorNames(StandardCursor cursor);

}  // namespace kelvane::platform::xcursor
