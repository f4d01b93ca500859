#pragma once
// Which stream of a started screen cast shows the display the recording asked for: the
// one at the display's position with its size (in points or in pixels). A portal that
// gives no position has only its single stream to offer, taken when its size fits.
#include <optional>
#include <vector>

#include "platform/linux/pipewire/screencast_portal.h"
#include "platform/shareable_content.h"

namespace kelvane::platform::pipewire {

std::optional<PortalStream> streamShowing(const ShareableDisplay& display, const std::vector<PortalStream>& streams);

}  // namespace kelvane::platform::pipewire
