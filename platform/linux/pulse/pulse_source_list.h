#pragma once
// The sources a Pulse server offers, in the server's index order.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::platform::pulse {

struct PulseSource {
    std::uint32_t index = 0;
    std::string name;
    std::string description;
    bool isMonitor = false;
};

// Nothing when the server cannot be reached.
std::optional<std::vector<PulseSource>> listPulseSources();

}  // namespace kelvane::platform::pulse
