#pragma once
// Displays and windows in a Wayland session. Displays are the compositor's outputs.
// Wayland itself lists no windows with their frames, so windows come from what the
// compositor offers, in this order: sway's IPC tree; the foreign-toplevel protocol of
// wlroots compositors (titles and app ids, each window given its output's frame);
// Xwayland's windows through X11 when DISPLAY is set; else none.
#include <memory>

#include "platform/shareable_content.h"

namespace kelvane::platform::wayland {

std::unique_ptr<ShareableContent> makeWaylandShareableContent();

}  // namespace kelvane::platform::wayland
