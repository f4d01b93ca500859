#include "platform/linux/session/display_session.h"

#include <cstdlib>

namespace kelvane::platform::session {

DisplaySession displaySessionFor(const char* waylandDisplay, const char* sessionType) {
    const bool namesWaylandDisplay = waylandDisplay != nullptr && *waylandDisplay != '\0';
    const bool waylandSession = sessionType != nullptr && std::string_view(sessionType) == "wayland";
    return namesWaylandDisplay || waylandSession ? DisplaySession::wayland : DisplaySession::x11;
}

DisplaySession currentDisplaySession() {
    return displaySessionFor(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"));
}

}  // namespace kelvane::platform::session
