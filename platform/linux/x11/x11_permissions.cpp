// X11 has no screen-capture permission: capture is possible exactly when a display server
// is reachable. Nothing below the sound server guards the microphone.
#include "platform/linux/x11/x_connection.h"
#include "platform/permissions.h"

namespace kelvane::platform {
namespace {

bool displayReachable() {
    try {
        x11::XConnection connection;
        return true;
    } catch (const x11::XConnectionError&) {
        return false;
    }
}

class X11Permissions final : public Permissions {
public:
    bool preflightScreenCaptureAccess() override { return displayReachable(); }
    bool requestScreenCaptureAccess() override { return displayReachable(); }
    MicrophoneAuthorization microphoneAuthorizationStatus() override { return MicrophoneAuthorization::authorized; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override { completion(true); }
};

}  // namespace

std::unique_ptr<Permissions> makePermissions() { return std::make_unique<X11Permissions>(); }

}  // namespace kelvane::platform
