#pragma once
// Windows as the foreign-toplevel protocol of wlroots compositors lists them: titles,
// app ids and states, but neither frames nor processes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/wayland/wayland_connection.h"
#include "platform/linux/wayland/wayland_outputs.h"
#include "platform/shareable_content.h"

namespace kelvane::platform::wayland {

struct ToplevelInfo {
    std::optional<std::string> title;
    std::optional<std::string> appID;
    bool minimized = false;
    bool activated = false;
    // Position in the outputs' list of the first output the window is on.
    std::optional<std::size_t> output;
};

// The windows the compositor lists, in its order; none when it does not offer the
// protocol. Throws WaylandError when the compositor does not answer.
std::optional<std::vector<ToplevelInfo>> readToplevels(const WaylandConnection& connection,
                                                       const BoundOutputs& outputs);

// As shareable windows: the active one first, then the others in the compositor's
// order. With no frame to be had, each window gets the frame of its output (else of
// the first display); its id is its place in the compositor's list counted from 1, the
// same for every program as long as no window opens or closes in between. The app id
// names the application and is its identifier; on screen means not minimised.
std::vector<ShareableWindow> windowsFromToplevels(const std::vector<ToplevelInfo>& toplevels,
                                                  const std::vector<ShareableDisplay>& displays);

}  // namespace kelvane::platform::wayland
