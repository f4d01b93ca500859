#pragma once
// A request to sway's IPC socket (SWAYSOCK) and its JSON answer, with a time limit.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace kelvane::platform::wayland {

enum class SwayRequest : std::uint32_t { getTree = 4, getOutputs = 3 };

// The reply's JSON text; none when SWAYSOCK is unset, nothing listens there, or no
// whole reply comes within `limit`.
std::optional<std::string> askSway(SwayRequest request,
                                   std::chrono::milliseconds limit = std::chrono::seconds(2));

}  // namespace kelvane::platform::wayland
