#pragma once
// Muxes encoded tracks into one MP4, MOV or M4A file in a way that survives a crash.
//
// While recording, the file is fragmented: a self-contained fragment is written at every
// video keyframe and at least every second, so whatever reached the disk before a SIGKILL
// or power loss still plays, and the length declared at its start is kept current.
// Fragmented files of this FFmpeg carry no edit lists, though, so the encoder priming of
// AAC and the exact end of each track would be lost. Every packet's timing is therefore
// also kept in memory, and finish() turns the file into an ordinary indexed one in place:
// a complete moov with those exact timings, whose sample tables point at the samples where
// the fragments put them, is appended, and then one small write at the start retires the
// fragmented header and fragments into the media data. Until that write the file reads as
// fragmented, after it as indexed, so a crash at any point leaves every sample playable.
// Nothing is copied and no other file is made.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/media_file.h"
#include "platform/linux/ffmpeg/movie_extends_header.h"

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
    // Closes the fragmented file and makes it an indexed one in place. Throws FfmpegError;
    // the fragmented file is then left complete at the path.
    void finish();
    // Closes the fragmented file as it is, without indexing it (after a failure).
    void abandon();

    const std::string& path() const { return path_; }

    // For tests that stop a process part way through finishing: `observer` is called with
    // "closed", "appended" and "committed" as finishing reaches each step.
    using FinishingObserver = void (*)(const char* step);
    static void observeFinishing(FinishingObserver observer);

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
    void indexInPlace();
    // Declares as the file's length what the packets written so far span.
    void declareLength();
    void extendSpan(std::size_t stream, const PacketTiming& timing);

    std::string path_;
    std::string formatName_;
    std::unique_ptr<MediaFile> file_;
    AVFormatContext* fragmented_ = nullptr;
    bool headerWritten_ = false;
    bool closed_ = false;
    std::vector<Track> tracks_;
    std::vector<std::vector<PacketTiming>> timings_;
    std::vector<std::size_t> written_;
    std::vector<std::uint8_t> indexedFileType_;
    DurationField declaredLength_;
    // What the packets written span, in ticks of the movie timescale.
    std::optional<std::int64_t> spanStart_;
    std::int64_t spanEnd_ = 0;
    std::int64_t declared_ = 0;
    std::mutex mutex_;
};

}  // namespace kelvane::platform::ffmpeg
