#pragma once
// Muxes encoded tracks into one MP4, MOV or M4A file in a way that survives a crash.
//
// While recording, the file at the final path is fragmented: a self-contained fragment
// is written at every video keyframe and at least every second, so whatever reached the
// disk before a SIGKILL or power loss still plays. Fragmented files of this FFmpeg carry
// no edit lists, though, so the encoder priming of AAC and the exact end of each track
// would be lost. Every packet's timing is therefore also kept in memory, and finish()
// rewrites the fragments into an ordinary indexed file with those exact timings (the
// muxer then writes the edit lists), which replaces the fragmented file in one rename.
// If anything fails on the way, the fragmented file stays where it is.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/media_file.h"

namespace kelvane::platform::ffmpeg {

class MovieMuxer {
public:
    // `formatName` is an FFmpeg muxer: "mp4", "mov" or "ipod". Creates the file at `path`
    // exclusively; throws FfmpegError naming the path when that is not possible.
    MovieMuxer(const std::string& path, const std::string& formatName);
    ~MovieMuxer();
    MovieMuxer(const MovieMuxer&) = delete;
    MovieMuxer& operator=(const MovieMuxer&) = delete;

    // Adds a track for what `encoder` (opened, with a global header) produces; its packets'
    // times are in the encoder's time base. Returns the track's index. Before start() only.
    int addStream(const AVCodecContext& encoder);
    // Writes the file header; throws FfmpegError.
    void start();
    // Writes one packet of track `stream` (times in that track's encoder time base). Safe to
    // call from several threads; throws FfmpegError when the file cannot be written.
    void write(int stream, AVPacket& packet);
    // Writes out the fragment being collected now rather than at its usual boundary.
    void flushFragment();
    // Where track `stream` ends in the indexed file: packets from `end` on (ticks of the
    // encoder time base) are left out, and the last one kept lasts until `end` when
    // `packetsLastUntilNext` (a picture stays until the next) or at most until `end`.
    void settleTrack(int stream, std::optional<std::int64_t> end, bool packetsLastUntilNext);
    // Closes the fragmented file and replaces it with the ordinary indexed file. Throws
    // FfmpegError; the fragmented file is then left complete at the path.
    void finish();
    // Closes the fragmented file as it is, without the rewrite (after a failure).
    void abandon();

    const std::string& path() const { return path_; }

private:
    struct Track {
        AVRational timeBase{};
        std::optional<std::int64_t> end;
        bool packetsLastUntilNext = false;
    };
    struct PacketTiming {
        std::int64_t pts;
        std::int64_t dts;
        std::int64_t duration;
        int flags;
    };

    void closeFragmentedFile();
    void settleTimings();
    void rewriteIndexed();

    std::string path_;
    std::string formatName_;
    std::unique_ptr<MediaFile> file_;
    AVFormatContext* fragmented_ = nullptr;
    bool headerWritten_ = false;
    bool closed_ = false;
    std::vector<Track> tracks_;
    std::vector<std::vector<PacketTiming>> timings_;
    std::vector<std::size_t> written_;
    std::mutex mutex_;
};

}  // namespace kelvane::platform::ffmpeg
