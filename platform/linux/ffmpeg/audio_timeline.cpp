#include "platform/linux/ffmpeg/audio_timeline.h"

#include <algorithm>

namespace kelvane::platform::ffmpeg {

std::int64_t AudioTimeline::room(std::int64_t wanted) const {
    if (!end_) return wanted;
    return std::clamp<std::int64_t>(*end_ - position_, 0, wanted);
}

AudioTimeline::Placement AudioTimeline::place(std::int64_t start, std::int64_t count) {
    Placement placement;
    if (count <= 0) return placement;
    const std::int64_t offset = start - position_;
    if (offset > tolerance_) {
        placement.silence = room(offset);
        position_ += placement.silence;
    } else if (offset < -tolerance_) {
        placement.skip = std::min(count, -offset);
    }
    placement.take = room(count - placement.skip);
    position_ += placement.take;
    return placement;
}

}  // namespace kelvane::platform::ffmpeg
