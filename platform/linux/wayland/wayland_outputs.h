#pragma once
// The compositor's outputs (wl_output, with xdg-output's logical layout where offered)
// and how they become shareable displays.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/wayland/wayland_connection.h"
#include "platform/shareable_content.h"

namespace kelvane::platform::wayland {

struct OutputInfo {
    std::uint32_t globalName = 0;
    std::string name;  // the connector, e.g. "DP-1"; empty when the compositor gives none
    // From wl_output: position in the compositor space, current mode in pixels, the
    // integer scale and the transform (WL_OUTPUT_TRANSFORM_*).
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t modeWidth = 0;
    std::int32_t modeHeight = 0;
    std::int32_t scale = 1;
    std::int32_t transform = 0;
    // From xdg-output: position and size in the global layout, in points.
    std::optional<std::int32_t> logicalX, logicalY, logicalWidth, logicalHeight;
};

// Every output the compositor announced, in announcement order, bound for as long as
// this lives so that other protocols can name them.
class BoundOutputs {
public:
    // Binds and reads them all; throws WaylandError when the compositor does not answer.
    explicit BoundOutputs(const WaylandConnection& connection);
    ~BoundOutputs();
    BoundOutputs(const BoundOutputs&) = delete;
    BoundOutputs& operator=(const BoundOutputs&) = delete;

    const std::vector<OutputInfo>& infos() const { return infos_; }
    // Position in infos() of one of these outputs; none for any other object.
    std::optional<std::size_t> indexOf(const wl_output* output) const;
    // The output whose display id (displayIDOf) is `displayID`; null when none is.
    wl_output* outputWithDisplayID(std::uint32_t displayID) const;

private:
    struct Bound;
    std::vector<std::unique_ptr<Bound>> bound_;
    std::vector<OutputInfo> infos_;
};

// A display's id: the same for an output of the same name every time it is asked, in
// this process or another (a hash of the name); the output's global name when it has
// no name.
std::uint32_t displayIDOf(const OutputInfo& output);

// Frame from the logical layout, or from the mode, scale and transform without it;
// pixel size of the picture the output shows (turned with the output); the same order.
std::vector<ShareableDisplay> displaysFromOutputs(const std::vector<OutputInfo>& outputs);

}  // namespace kelvane::platform::wayland
