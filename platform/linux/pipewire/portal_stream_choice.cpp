#include "platform/linux/pipewire/portal_stream_choice.h"

#include <cmath>

namespace kelvane::platform::pipewire {
namespace {

bool sizeFits(const ShareableDisplay& display, const PortalStream& stream) {
    if (!stream.width || !stream.height) return true;
    const auto same = [](double a, std::int32_t b) { return std::lround(a) == b; };
    return (same(width(display.frame), *stream.width) && same(height(display.frame), *stream.height)) ||
           (same(display.pixelWidth, *stream.width) && same(display.pixelHeight, *stream.height));
}

}  // namespace

std::optional<PortalStream> streamShowing(const ShareableDisplay& display, const std::vector<PortalStream>& streams) {
    for (const PortalStream& stream : streams) {
        if (!stream.x || !stream.y) continue;
        if (std::lround(minX(display.frame)) == *stream.x && std::lround(minY(display.frame)) == *stream.y &&
            sizeFits(display, stream)) {
            return stream;
        }
    }
    if (streams.size() == 1 && !streams.front().x && sizeFits(display, streams.front())) return streams.front();
    return std::nullopt;
}

PixelRect windowAreaInPicture(const Rect& displayFrame, const Rect& windowFrame, const PixelRect& picture) {
    if (!(width(displayFrame) > 0) || !(height(displayFrame) > 0)) return {};
    const double xScale = picture.width / width(displayFrame);
    const double yScale = picture.height / height(displayFrame);
    const auto pixel = [](double value) { return static_cast<int>(std::lround(value)); };
    const PixelRect window{pixel((minX(windowFrame) - minX(displayFrame)) * xScale),
                           pixel((minY(windowFrame) - minY(displayFrame)) * yScale),
                           pixel(width(windowFrame) * xScale), pixel(height(windowFrame) * yScale)};
    return intersection(window, picture);
}

}  // namespace kelvane::platform::pipewire
