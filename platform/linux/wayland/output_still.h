#pragma once
// One picture of an output taken straight from a wlroots compositor through its
// screencopy protocol, independent of any screen cast.
//
// A screen cast's first picture needs the screen to change after the cast starts when
// the portal behind it asks the compositor for changes only, as the wlroots portal does
// from its second cast on: on a still screen that first picture never comes. This one
// comes at once, since a new screencopy client has seen nothing of the screen yet.
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvane::platform::wayland {

struct OutputStill {
    // Rows `stride` bytes apart, top row first, four bytes per pixel: B, G, R and a
    // fourth byte that is alpha or undefined.
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// The picture the output of `displayID` (displayIDOf) shows now, without the cursor.
// Nothing when the compositor is unreachable, offers no screencopy, has no such output,
// offers no 32-bit picture, or does not copy it within `limit`.
std::optional<OutputStill> grabOutputStill(std::uint32_t displayID, std::chrono::milliseconds limit);

}  // namespace kelvane::platform::wayland
