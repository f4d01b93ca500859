// The recorder's capture streams and screen-capture access, picked by the kind of session.
#include <cstdlib>
#include <string_view>

#include "platform/linux/pipewire/portal_capture_streams.h"
#include "platform/linux/x11/x11_capture_streams.h"
#include "platform/linux/x11/x11_permissions.h"

namespace kelvane::platform {
namespace {

bool waylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::string_view(type) == "wayland");
}

}  // namespace

std::unique_ptr<CaptureStreams> makeCaptureStreams() {
    return waylandSession() ? pipewire::makePortalCaptureStreams(makeShareableContent) : x11::makeX11CaptureStreams();
}

std::unique_ptr<Permissions> makePermissions() {
    return waylandSession() ? pipewire::makePortalPermissions() : x11::makeX11Permissions();
}

}  // namespace kelvane::platform
