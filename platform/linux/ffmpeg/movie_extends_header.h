#pragma once
// The declared length of a fragmented file. Its moov is written before any fragment and
// says nothing of how long the movie is; some players (GStreamer, browsers) take the
// length from the movie extends header (mehd) and would otherwise show only the first
// fragment's. The header is added once, then its duration kept current in place.
#include <cstdint>
#include <vector>

namespace kelvane::platform::ffmpeg {

struct DurationField {
    std::size_t offset = 0;  // in the file
    std::size_t width = 0;   // 4 or 8 bytes
};

// `header` holds the file's first boxes, up to and including its moov. Adds an mehd to the
// moov's mvex unless there is one, and returns where its duration lies. Throws FfmpegError
// when the header has no mvex.
DurationField addMovieExtendsHeader(std::vector<std::uint8_t>& header);

// The big-endian bytes of `duration` for `field`.
std::vector<std::uint8_t> durationBytes(const DurationField& field, std::uint64_t duration);

}  // namespace kelvane::platform::ffmpeg
