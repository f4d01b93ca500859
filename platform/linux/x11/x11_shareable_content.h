#pragma once
// Displays and windows from an X server (RandR monitors, the window manager's stacking
// list). makeShareableContent picks it in X11 sessions; Wayland sessions use it for the
// windows of Xwayland.
#include <memory>

#include "platform/shareable_content.h"

namespace kelvane::platform::x11 {

std::unique_ptr<ShareableContent> makeX11ShareableContent();

}  // namespace kelvane::platform::x11
