#pragma once
// A screen cast granted by the desktop portal (org.freedesktop.portal.ScreenCast over the
// D-Bus session bus): the session is created, the sources selected and started (which
// shows the compositor's chooser unless a restore token stands in for it), and the
// PipeWire remote opened. The session lasts as long as the object.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/linux/capture/capture_stream_error.h"

namespace kelvane::platform::pipewire {

// The portal's source types, as bits.
enum class SourceType : std::uint32_t { monitor = 1, window = 2 };

// One stream of a started session. Position and size are in the compositor's logical
// coordinates, when the portal tells them.
struct PortalStream {
    std::uint32_t nodeId = 0;
    std::optional<std::int32_t> x, y;
    std::optional<std::int32_t> width, height;
    std::uint32_t sourceType = 0;
};

struct ScreenCastRequest {
    SourceType sourceType = SourceType::monitor;
    // Given by an earlier session of the same choice; the chooser is skipped when the
    // portal accepts it.
    std::optional<std::string> restoreToken;
    // Asks for a token that keeps this choice for later sessions.
    bool persist = true;
};

// The user declined to share the screen (closed the chooser).
class ScreenCastRefused : public capture::ScreenSharingDeclined {};

// The portal is unreachable or failed; what() says which step and why.
class ScreenCastFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ScreenCastSession {
public:
    // Runs the portal's steps. `onEnded` runs once, on the session's own thread, when the
    // portal closes the session or leaves the bus while it lasts. Throws ScreenCastRefused
    // or ScreenCastFailed; the portal's non-interactive steps are given a few seconds each.
    ScreenCastSession(const ScreenCastRequest& request, std::function<void(const std::string&)> onEnded);
    // Closes the session.
    ~ScreenCastSession();
    ScreenCastSession(const ScreenCastSession&) = delete;
    ScreenCastSession& operator=(const ScreenCastSession&) = delete;

    const std::vector<PortalStream>& streams() const;
    // The token that restores this choice next time, when the portal gave one.
    const std::optional<std::string>& restoreToken() const;
    // The PipeWire remote's socket; the caller owns it (once).
    int takePipeWireFd();

private:
    struct Loop;
    std::unique_ptr<Loop> loop_;
};

// Whether the session bus has a ScreenCast portal that answers within a few seconds.
bool screenCastPortalReachable();

}  // namespace kelvane::platform::pipewire
