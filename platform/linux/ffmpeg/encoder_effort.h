#pragma once
// How hard the video encoder searches, chosen from how busy it has been. The person
// recording runs the very thing being recorded on the same machine, and a full-screen
// animation at 60 fps keeps a core busy with the most thorough search and falls behind
// once anything else runs: once the encoder worked more than 70 % of a second of media,
// it searches less; once it worked under 35 %, it searches more again. Full-screen
// scrolling text at 1080p60 (two thirds of a core on two cores) keeps the thorough
// search and its smaller files. The band between the two thresholds keeps the level
// from swinging back and forth, since one level costs at most a third more than the next.
#include <cstdint>
#include <optional>

namespace kelvane::platform::ffmpeg {

class EncoderEffort {
public:
    // Level 0 is the most thorough search, `fastestLevel` the cheapest.
    static constexpr int fastestLevel = 2;

    // Counts `workNs` spent on a frame at media time `mediaNs` (nanoseconds from any origin,
    // increasing). Once a second of media has passed since the last decision, decides
    // again, and returns the new level when it changed.
    std::optional<int> record(std::int64_t workNs, std::int64_t mediaNs);

    int level() const { return level_; }

private:
    static constexpr std::int64_t windowNs = 1'000'000'000;
    static constexpr double busyAbove = 0.7;
    static constexpr double idleBelow = 0.35;

    int level_ = 0;
    std::optional<std::int64_t> windowStartNs_;
    std::int64_t workInWindowNs_ = 0;
};

}  // namespace kelvane::platform::ffmpeg
