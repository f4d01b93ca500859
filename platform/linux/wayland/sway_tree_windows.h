#pragma once
// The windows in sway's layout tree (the GET_TREE reply), as shareable windows.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shareable_content.h"

namespace kelvane::platform::wayland {

using CommandNameReader = std::function<std::optional<std::string>(std::int32_t)>;

// Every window (a container holding an application's surface), front to back: the
// workspaces shown on an output first, then the others, the scratchpad last; in each
// workspace the floating windows from the top one down, then the tiled ones in layout
// order. `windowID` is the container id; `frame` the surface without borders and title
// bar; on screen means on a workspace an output shows. A native window's application is
// named after its process (`commandName`), else its app id, which is also its
// identifier; an Xwayland window's as on X11, by its WM_CLASS. None when the text is not
// a tree.
std::optional<std::vector<ShareableWindow>> windowsFromSwayTree(std::string_view json,
                                                                const CommandNameReader& commandName);

}  // namespace kelvane::platform::wayland
