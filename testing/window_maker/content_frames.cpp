#include "testing/window_maker/content_frames.h"

#include <algorithm>
#include <array>

namespace kelvane::testing {
namespace {

using std::chrono::nanoseconds;
constexpr int64_t second = 1'000'000'000;

// Colours a cycling window steps through after its own colour; none of them is white,
// so a cycle is never mistaken for a flash.
constexpr std::array<uint32_t, 5> cycleColors = {0xcc3333, 0x33aa33, 0xdddd22, 0x8833cc, 0x22bbbb};

int64_t periodNanoseconds(double perSecond) { return static_cast<int64_t>(static_cast<double>(second) / perSecond); }

}  // namespace

ContentFrame contentFrameAt(const WindowSpec& spec, uint32_t width, uint32_t height, nanoseconds sinceStart) {
    int64_t t = std::max<int64_t>(sinceStart.count(), 0);
    ContentFrame frame;
    frame.background = spec.color;
    switch (spec.content) {
        case ContentMode::solid:
            break;
        case ContentMode::cycle: {
            int64_t step = t / periodNanoseconds(spec.rate);
            size_t index = static_cast<size_t>(step % static_cast<int64_t>(cycleColors.size() + 1));
            frame.background = index == 0 ? spec.color : cycleColors[index - 1];
            break;
        }
        case ContentMode::flash: {
            int64_t intoSecond = t % second;
            frame.flashing = t >= second && intoSecond < int64_t{spec.flashMilliseconds} * 1'000'000;
            if (frame.flashing) frame.background = flashColor;
            break;
        }
        case ContentMode::movingBox: {
            uint32_t side = std::max<uint32_t>(8, std::min(width, height) / 4);
            int64_t travel = std::max<int64_t>(int64_t{width} - side, 0);
            int64_t frameIndex = t / periodNanoseconds(movingBoxFramesPerSecond);
            int64_t distance = frameIndex * movingBoxPixelsPerSecond / movingBoxFramesPerSecond;
            // There and back again: a triangle wave over the free width.
            int64_t x = travel == 0 ? 0 : distance % (2 * travel);
            if (x > travel) x = 2 * travel - x;
            int y = static_cast<int>(std::max<int64_t>((int64_t{height} - side) / 2, 0));
            frame.box = BoxRect{static_cast<int>(x), y, side, side};
            break;
        }
    }
    return frame;
}

std::optional<nanoseconds> nextContentChange(const WindowSpec& spec, nanoseconds sinceStart) {
    int64_t t = std::max<int64_t>(sinceStart.count(), 0);
    auto nextMultiple = [t](int64_t period) { return nanoseconds((t / period + 1) * period); };
    switch (spec.content) {
        case ContentMode::solid:
            return std::nullopt;
        case ContentMode::cycle:
            return nextMultiple(periodNanoseconds(spec.rate));
        case ContentMode::flash: {
            int64_t secondStart = t - t % second;
            int64_t flashEnd = secondStart + int64_t{spec.flashMilliseconds} * 1'000'000;
            if (t >= second && t < flashEnd) return nanoseconds(flashEnd);
            return nanoseconds(secondStart + second);
        }
        case ContentMode::movingBox:
            return nextMultiple(periodNanoseconds(movingBoxFramesPerSecond));
    }
    return std::nullopt;
}

}  // namespace kelvane::testing
