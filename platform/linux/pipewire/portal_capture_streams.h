#pragma once
// Capture streams and screen-capture access in a Wayland session: pictures through the
// desktop portal's screen cast, sound from the Pulse server (PipeWire's, on such desktops).
#include <functional>
#include <memory>

#include "platform/capture_stream.h"
#include "platform/permissions.h"
#include "platform/shareable_content.h"

namespace kelvane::platform::pipewire {

// Window recordings find and follow their window in what `makeContent` lists.
using ShareableContentMaker = std::function<std::unique_ptr<ShareableContent>()>;
std::unique_ptr<CaptureStreams> makePortalCaptureStreams(ShareableContentMaker makeContent);
// Screen capture is possible when the portal answers; whether the user lets it happen is
// only known when a recording starts and the chooser is shown.
std::unique_ptr<Permissions> makePortalPermissions();

}  // namespace kelvane::platform::pipewire
