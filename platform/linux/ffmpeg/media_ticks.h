#pragma once
// Media times as whole ticks of a track's time base.
#include <cstdint>
#include <optional>

#include "platform/media_time.h"

namespace kelvane::platform::ffmpeg {

// (`time` − `origin`) in ticks of 1/`rate` seconds, rounded to the nearest tick; nothing
// when either time is invalid or the result does not fit.
std::optional<std::int64_t> ticksSince(const MediaTime& origin, const MediaTime& time, int rate);

}  // namespace kelvane::platform::ffmpeg
