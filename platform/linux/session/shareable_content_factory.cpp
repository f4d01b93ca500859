// Displays and windows come from the session's own display system: on Wayland the
// compositor's outputs and window list, on X11 the X server's.
#include "platform/linux/session/display_session.h"
#include "platform/linux/wayland/wayland_shareable_content.h"
#include "platform/linux/x11/x11_shareable_content.h"
#include "platform/shareable_content.h"

namespace kelvane::platform {

std::unique_ptr<ShareableContent> makeShareableContent() {
    if (session::currentDisplaySession() == session::DisplaySession::wayland) {
        return wayland::makeWaylandShareableContent();
    }
    return x11::makeX11ShareableContent();
}

}  // namespace kelvane::platform
