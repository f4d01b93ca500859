#pragma once
// What a test window shows at a given time since it was created, and when that next
// changes. Pure arithmetic, so the schedule the recorder's tests rely on is testable
// without an X server.
#include <chrono>
#include <cstdint>
#include <optional>

#include "testing/window_maker/window_spec.h"

namespace kelvane::testing {

struct BoxRect {
    int x = 0;
    int y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

struct ContentFrame {
    uint32_t background = 0;  // 0xRRGGBB
    std::optional<BoxRect> box;  // drawn white over the background
    bool flashing = false;       // a flash window showing its white flash
};

inline constexpr uint32_t flashColor = 0xffffff;
inline constexpr int movingBoxFramesPerSecond = 30;
inline constexpr int movingBoxPixelsPerSecond = 240;

ContentFrame contentFrameAt(const WindowSpec& spec, uint32_t width, uint32_t height,
                            std::chrono::nanoseconds sinceStart);

// The next time after sinceStart at which the picture changes; nothing for still content.
std::optional<std::chrono::nanoseconds> nextContentChange(const WindowSpec& spec, std::chrono::nanoseconds sinceStart);

}  // namespace kelvane::testing
