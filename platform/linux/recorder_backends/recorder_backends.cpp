// The recorder's capture streams and screen-capture access, picked by the kind of session.
#include "platform/linux/pipewire/portal_capture_streams.h"
#include "platform/linux/session/display_session.h"
#include "platform/linux/x11/x11_capture_streams.h"
#include "platform/linux/x11/x11_permissions.h"

namespace kelvane::platform {
namespace {

bool waylandSession() { return session::currentDisplaySession() == session::DisplaySession::wayland; }

}  // namespace

std::unique_ptr<CaptureStreams> makeCaptureStreams() {
    return waylandSession() ? pipewire::makePortalCaptureStreams(makeShareableContent) : x11::makeX11CaptureStreams();
}

std::unique_ptr<Permissions> makePermissions() {
    return waylandSession() ? pipewire::makePortalPermissions() : x11::makeX11Permissions();
}

}  // namespace kelvane::platform
