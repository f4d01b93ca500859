#pragma once
// Screen-capture and microphone access on X11.
#include <memory>

#include "platform/permissions.h"

namespace kelvane::platform::x11 {

std::unique_ptr<Permissions> makeX11Permissions();

}  // namespace kelvane::platform::x11
