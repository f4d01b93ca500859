#pragma once
// A connection to the Pulse server held only to notice when the server goes away: the
// capture streams themselves end silently when that happens.
#include <pulse/pulseaudio.h>

#include <functional>
#include <optional>
#include <string>

namespace kelvane::platform::pulse {

class PulseServerWatch {
public:
    PulseServerWatch();
    ~PulseServerWatch();
    PulseServerWatch(const PulseServerWatch&) = delete;
    PulseServerWatch& operator=(const PulseServerWatch&) = delete;

    // Connects and from then on calls `onLost` once, on Pulse's thread, with the
    // server's description of the failure when the connection ends. The description
    // of the failure when the server cannot be reached now.
    std::optional<std::string> watch(std::function<void(const std::string&)> onLost);

private:
    static void onContextState(pa_context* context, void* self);

    pa_threaded_mainloop* mainLoop_ = nullptr;
    pa_context* context_ = nullptr;
    bool ready_ = false;
    std::function<void(const std::string&)> onLost_;
};

// Whether a Pulse server answers now.
bool pulseServerReachable();

}  // namespace kelvane::platform::pulse
