#pragma once
// Keeps an audio track continuous on its sample timeline. Each buffer says at which
// sample it starts; a buffer that starts later than the track has reached is preceded by
// silence, one that starts earlier loses its overlapping head, so every sample plays at
// its own media time. Differences within `tolerance` samples are timestamp jitter and
// are ignored, so steady input is never chopped up. Nothing passes the end, once known.
#include <cstdint>
#include <optional>

namespace kelvane::platform::ffmpeg {

class AudioTimeline {
public:
    struct Placement {
        std::int64_t silence = 0;  // samples of silence to write before the buffer
        std::int64_t skip = 0;     // samples to drop from the buffer's head
        std::int64_t take = 0;     // samples of the buffer to write after that
    };

    explicit AudioTimeline(std::int64_t tolerance) : tolerance_(tolerance) {}

    // Where a buffer of `count` samples starting at sample `start` goes.
    Placement place(std::int64_t start, std::int64_t count);
    // No sample at or after `end` is written.
    void setEnd(std::int64_t end) { end_ = end; }

    // The sample the track has reached.
    std::int64_t position() const { return position_; }

private:
    std::int64_t room(std::int64_t wanted) const;

    std::int64_t tolerance_;
    std::int64_t position_ = 0;
    std::optional<std::int64_t> end_;
};

}  // namespace kelvane::platform::ffmpeg
