#pragma once
// The moov box of the finished file: an ordinary index whose sample tables point at the
// samples where the fragments put them. It is made from the moov written at the start of
// the fragmented file, whose sample descriptions, handlers and metadata it keeps, and from
// what the writer knows of every packet it wrote.
#include <cstdint>
#include <map>
#include <vector>

#include "platform/linux/ffmpeg/fragment_scan.h"
#include "platform/linux/ffmpeg/mp4_box.h"

namespace kelvane::platform::ffmpeg {

// One sample's times in ticks of its track's timescale.
struct SampleTiming {
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    std::int64_t duration = 0;
    bool keyframe = false;
};

struct IndexedTrack {
    std::vector<SampleTiming> samples;  // those the finished track keeps, in decoding order
    std::size_t written = 0;            // samples in the fragments, kept or not
};

// Where a track plays in the movie, in ticks of the movie's timescale: after
// `emptyDuration` of nothing, `duration` of its media from media time `mediaTime` (in
// ticks of the track's timescale, counted from its first sample's decoding time).
struct EditList {
    std::int64_t emptyDuration = 0;
    std::int64_t duration = 0;
    std::int64_t mediaTime = 0;
};

// The edit list that starts the track at its first sample's presentation time (so encoder
// priming before it is skipped) and ends it where its last sample ends. `samples` is not empty.
EditList editListFor(const std::vector<SampleTiming>& samples, std::int64_t trackTimescale, std::int64_t movieTimescale);

// `fragmentedMovie` is the moov box of the fragmented file; `tracks` come in the order of
// its trak boxes and `placements` by track ID. The movie extends box is left out.
// Throws FfmpegError when the fragments do not hold the samples written.
std::vector<std::uint8_t> buildIndexedMovie(Bytes fragmentedMovie, const std::vector<IndexedTrack>& tracks,
                                            const std::map<std::uint32_t, TrackPlacement>& placements);

}  // namespace kelvane::platform::ffmpeg
