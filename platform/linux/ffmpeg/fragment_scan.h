#pragma once
// Where the samples of a fragmented file lie, read back from its movie fragments: the
// moov written at its start, and for each track every run of samples (a chunk, in the
// words of an indexed file) with its offset in the file and the size of each sample.
#include <cstdint>
#include <map>
#include <vector>

#include "platform/linux/ffmpeg/media_file.h"

namespace kelvane::platform::ffmpeg {

struct SampleRun {
    std::uint64_t offset = 0;  // of its first sample in the file
    std::uint32_t samples = 0;
};

struct TrackPlacement {
    std::vector<SampleRun> runs;
    std::vector<std::uint32_t> sampleSizes;
};

struct FragmentedLayout {
    std::uint64_t movieOffset = 0;
    std::vector<std::uint8_t> movie;                // the whole moov box
    std::map<std::uint32_t, TrackPlacement> tracks;  // by track ID
    std::uint64_t end = 0;                          // where the last box ends
};

// Reads the top-level boxes of `file` and the fragments among them. Throws FfmpegError when
// the file is not a complete fragmented movie.
FragmentedLayout scanFragmentedFile(const MediaFile& file);

}  // namespace kelvane::platform::ffmpeg
