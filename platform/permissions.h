#pragma once
// Screen-capture and microphone access as the recorder asks for them at start-up.
#include <functional>
#include <memory>

namespace kelvane::platform {

// Raw values follow the capture-device authorisation status the host knows.
enum class MicrophoneAuthorization : int { notDetermined = 0, restricted = 1, denied = 2, authorized = 3 };

class Permissions {
public:
    virtual ~Permissions() = default;
    // True when this process may capture the screen; asks nobody.
    virtual bool preflightScreenCaptureAccess() = 0;
    // May prompt the user; true when access is granted.
    virtual bool requestScreenCaptureAccess() = 0;
    virtual MicrophoneAuthorization microphoneAuthorizationStatus() = 0;
    // Prompts when the status is not determined; `completion` runs once, on any thread.
    virtual void requestMicrophoneAccess(std::function<void(bool granted)> completion) = 0;
};

std::unique_ptr<Permissions> makePermissions();

}  // namespace kelvane::platform
