// X11 has no screen-capture permission: capture is possible exactly when a display server
// is reachable. Nothing below the sound server guards the microphone.
#include "platform/linux/x11/x_connection.h"
#include "platform/linux/x11/x11_permissions.h"

namespace kelvane::platform::x11 {
namespace {

bool displayReachable() {
    try {
        XConnection connection;
        return true;
    } catch (const XConnectionError&) {
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

std::unique_ptr<Permissions> makeX11Permissions() { return std::make_unique<X11Permissions>(); }

}  // namespace kelvane::platform::x11
