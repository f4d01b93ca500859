#pragma once
// Which stream of a started screen cast shows the display the recording asked for: the
// one at the display's position with its size (in points or in pixels). A portal that
// gives no position has only its single stream to offer, taken when its size fits. And
// which part of that stream's picture shows a window.
#include <optional>
#include <vector>

#include "platform/linux/pipewire/damaged_picture.h"
#include "platform/linux/pipewire/screencast_portal.h"
#include "platform/shareable_content.h"

namespace kelvane::platform::pipewire {

std::optional<PortalStream> streamShowing(const ShareableDisplay& display, const std::vector<PortalStream>& streams);

// The pixels of a `picture` of the display at `displayFrame` that show the window at
// `windowFrame` (both in the global display space, in points; the picture may be in
// pixels), cut to the picture; empty when none.
PixelRect windowAreaInPicture(const Rect& displayFrame, const Rect& windowFrame, const PixelRect& picture);

}  // namespace kelvane::platform::pipewire
