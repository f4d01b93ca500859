#include "platform/linux/ffmpeg/media_ticks.h"

#include <limits>

namespace kelvane::platform::ffmpeg {

std::optional<std::int64_t> ticksSince(const MediaTime& origin, const MediaTime& time, int rate) {
    if (!origin.isValid() || !time.isValid() || rate <= 0) return std::nullopt;
    const MediaTime span = time - origin;
    if (!span.isValid()) return std::nullopt;
    const __int128 scaled = static_cast<__int128>(span.value) * rate;
    const __int128 half = span.timescale / 2;
    // Round half away from zero.
    const __int128 ticks = scaled >= 0 ? (scaled + half) / span.timescale : -((-scaled + half) / span.timescale);
    if (ticks > std::numeric_limits<std::int64_t>::max() || ticks < std::numeric_limits<std::int64_t>::min())
        return std::nullopt;
    return static_cast<std::int64_t>(ticks);
}

}  // namespace kelvane::platform::ffmpeg
