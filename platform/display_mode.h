#pragma once
// Display geometry the recorder sizes its capture with: the main display, a display's
// bounds in points and its current mode in pixels and points.
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/geometry.h"

namespace kelvane::platform {

struct DisplayMode {
    std::uint32_t pixelWidth = 0;
    std::uint32_t pixelHeight = 0;
    // Size in points.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

class DisplayModes {
public:
    virtual ~DisplayModes() = default;
    virtual std::uint32_t mainDisplayID() = 0;
    // The display's bounds in the global display space; an empty rectangle when unknown.
    virtual Rect displayBounds(std::uint32_t displayID) = 0;
    // Nothing when the mode cannot be read.
    virtual std::optional<DisplayMode> currentMode(std::uint32_t displayID) = 0;
};

std::unique_ptr<DisplayModes> makeDisplayModes();

}  // namespace kelvane::platform
