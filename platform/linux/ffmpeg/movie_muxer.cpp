#include "platform/linux/ffmpeg/movie_muxer.h"

#include <algorithm>
#include <atomic>

#include "platform/linux/ffmpeg/fragment_scan.h"
#include "platform/linux/ffmpeg/indexed_movie.h"
#include "platform/linux/ffmpeg/mp4_box.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
}

namespace kelvane::platform::ffmpeg {
namespace {

// How much of a recording a power loss may cost at most, besides the fragment being written.
constexpr std::chrono::milliseconds diskSyncInterval{2000};

// Edit lists and the declared length are counted in the movie's timescale, 1/1000 s unless
// told otherwise; in 1/48000 s every track can end on its exact sample (and video within
// 21 µs).
constexpr int movieTimescale = 48000;

std::atomic<MovieMuxer::FinishingObserver> finishingObserver{nullptr};

void reached(const char* step) {
    if (const auto observer = finishingObserver.load()) observer(step);
}

// A fragment at every video keyframe and at least every second (microseconds), each
// pushed out of FFmpeg's buffers as soon as it is complete. No fragment index at the end:
// the indexed moov takes that place.
void setFragmentOptions(AVDictionary** options) {
    av_dict_set(options, "movflags", "frag_keyframe+empty_moov+default_base_moof+skip_trailer", 0);
    av_dict_set(options, "frag_duration", "1000000", 0);
    av_dict_set(options, "flush_packets", "1", 0);
    av_dict_set_int(options, "movie_timescale", movieTimescale, 0);
}

AVFormatContext* makeOutputContext(const std::string& formatName, AVIOContext* io, const std::string& path) {
    AVFormatContext* context = nullptr;
    checkAv(avformat_alloc_output_context2(&context, nullptr, formatName.c_str(), nullptr),
            "Cannot set up the " + formatName + " muxer for \"" + path + "\"");
    context->pb = io;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    return context;
}

// The file type box that `formatName` gives an ordinary indexed file of these streams (the
// fragmented file's names fragment brands, "iso5" first for MP4), taken from the header the
// muxer writes for one into memory.
std::vector<std::uint8_t> indexedFileType(const std::string& formatName, const AVFormatContext& like,
                                          const std::string& path) {
    AVIOContext* memory = nullptr;
    checkAv(avio_open_dyn_buf(&memory), "Cannot prepare \"" + path + "\"");
    // The muxer writes indexed files only where it may seek; memory allows that.
    memory->seekable = AVIO_SEEKABLE_NORMAL;
    AVFormatContext* context = nullptr;
    int result = avformat_alloc_output_context2(&context, nullptr, formatName.c_str(), nullptr);
    for (unsigned i = 0; result >= 0 && i < like.nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(context, nullptr);
        result = stream == nullptr ? AVERROR(ENOMEM) : avcodec_parameters_copy(stream->codecpar, like.streams[i]->codecpar);
        if (stream != nullptr) stream->time_base = like.streams[i]->time_base;
    }
    if (result >= 0) {
        context->pb = memory;
        context->flags |= AVFMT_FLAG_CUSTOM_IO;
        result = avformat_write_header(context, nullptr);
    }
    avformat_free_context(context);
    std::uint8_t* bytes = nullptr;
    const int size = avio_close_dyn_buf(memory, &bytes);
    std::vector<std::uint8_t> header(bytes, bytes + std::max(size, 0));
    av_free(bytes);
    checkAv(result, "Cannot prepare \"" + path + "\"");
    const Box fileType = boxAt(header, 0, header.size());
    if (fileType.type != "ftyp") throw FfmpegError("Cannot prepare \"" + path + "\": no file type");
    header.resize(fileType.size);
    return header;
}

// What the start of the file becomes when finishing: the indexed file's type, then the
// header of a media data box (64-bit size) that runs from there to `end`.
std::vector<std::uint8_t> indexedFileStart(std::vector<std::uint8_t> fileType, std::uint64_t end) {
    BoxWriter mediaData;
    mediaData.u32(1);
    mediaData.type("mdat");
    mediaData.u64(end - fileType.size());
    fileType.insert(fileType.end(), mediaData.data().begin(), mediaData.data().end());
    return fileType;
}

}  // namespace

void MovieMuxer::observeFinishing(FinishingObserver observer) { finishingObserver = observer; }

MovieMuxer::MovieMuxer(const std::string& path, const std::string& formatName)
    : path_(path), formatName_(formatName) {
    if (av_guess_format(formatName.c_str(), nullptr, nullptr) == nullptr)
        throw FfmpegError("This FFmpeg build has no " + formatName + " muxer");
    file_ = MediaFile::createExclusive(path);
    file_->keepSyncing(diskSyncInterval);
    fragmented_ = makeOutputContext(formatName_, file_->output(), path_);
}

MovieMuxer::~MovieMuxer() {
    if (!closed_) abandon();
    avformat_free_context(fragmented_);
}

int MovieMuxer::addStream(const AVCodecContext& encoder) {
    AVStream* stream = avformat_new_stream(fragmented_, nullptr);
    if (stream == nullptr) throw FfmpegError("Cannot add a track to \"" + path_ + "\": out of memory");
    checkAv(avcodec_parameters_from_context(stream->codecpar, &encoder), "Cannot describe a track of \"" + path_ + "\"");
    stream->time_base = encoder.time_base;
    tracks_.push_back(Track{encoder.time_base, std::nullopt, false});
    timings_.emplace_back();
    written_.push_back(0);
    return stream->index;
}

void MovieMuxer::start() {
    AVDictionary* options = nullptr;
    setFragmentOptions(&options);
    const int result = avformat_write_header(fragmented_, &options);
    av_dict_free(&options);
    checkAv(result, "Cannot start writing \"" + path_ + "\"");
    headerWritten_ = true;
    indexedFileType_ = indexedFileType(formatName_, *fragmented_, path_);

    // The header is on disk before any fragment follows it: there is still room to give it
    // a declared length, and the muxer goes on after the longer header.
    AVIOContext* io = fragmented_->pb;
    avio_flush(io);
    auto header = file_->readAt(0, static_cast<std::size_t>(file_->writtenEnd()));
    declaredLength_ = addMovieExtendsHeader(header);
    file_->writeAt(0, header);
    const std::int64_t resumed = avio_seek(io, static_cast<std::int64_t>(header.size()), SEEK_SET);
    if (resumed < 0) checkAv(static_cast<int>(resumed), "Cannot start writing \"" + path_ + "\"");
}

void MovieMuxer::write(int stream, AVPacket& packet) {
    std::lock_guard lock(mutex_);
    if (closed_ || !headerWritten_) throw FfmpegError("\"" + path_ + "\" is not open for writing");
    const PacketTiming timing{packet.pts, packet.dts, packet.duration, packet.flags};
    packet.stream_index = stream;
    av_packet_rescale_ts(&packet, tracks_[static_cast<std::size_t>(stream)].timeBase,
                         fragmented_->streams[stream]->time_base);
    const std::int64_t before = file_->writtenEnd();
    checkAv(av_write_frame(fragmented_, &packet), "Cannot write \"" + path_ + "\"");
    // A fragment reached the file: it holds every packet before this one.
    if (file_->writtenEnd() != before) declareLength();
    timings_[static_cast<std::size_t>(stream)].push_back(timing);
    ++written_[static_cast<std::size_t>(stream)];
    extendSpan(static_cast<std::size_t>(stream), timing);
}

void MovieMuxer::extendSpan(std::size_t stream, const PacketTiming& timing) {
    const AVRational movie{1, movieTimescale};
    const std::int64_t start = av_rescale_q(timing.pts, tracks_[stream].timeBase, movie);
    const std::int64_t end = av_rescale_q(timing.pts + timing.duration, tracks_[stream].timeBase, movie);
    spanStart_ = std::min(spanStart_.value_or(start), start);
    spanEnd_ = std::max(spanEnd_, end);
}

void MovieMuxer::declareLength() {
    const std::int64_t length = spanEnd_ - spanStart_.value_or(spanEnd_);
    if (length <= declared_) return;
    file_->writeAt(static_cast<std::int64_t>(declaredLength_.offset),
                   durationBytes(declaredLength_, static_cast<std::uint64_t>(length)));
    declared_ = length;
}

void MovieMuxer::settleTrack(int stream, std::optional<std::int64_t> end, bool packetsLastUntilNext) {
    std::lock_guard lock(mutex_);
    Track& track = tracks_.at(static_cast<std::size_t>(stream));
    track.end = end;
    track.packetsLastUntilNext = packetsLastUntilNext;
}

// Packets leave the encoders in presentation order, so what lies past a track's end is
// a tail of its list.
void MovieMuxer::settleTimings() {
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        const Track& track = tracks_[i];
        std::vector<PacketTiming>& timings = timings_[i];
        if (track.end) {
            std::size_t kept = 0;
            while (kept < timings.size() && timings[kept].pts < *track.end) ++kept;
            timings.resize(kept);
        }
        if (timings.empty() || !track.end) continue;
        PacketTiming& last = timings.back();
        const std::int64_t untilEnd = *track.end - last.pts;
        last.duration = track.packetsLastUntilNext ? untilEnd : std::min(last.duration, untilEnd);
    }
}

void MovieMuxer::flushFragment() {
    std::lock_guard lock(mutex_);
    if (closed_ || !headerWritten_) return;
    checkAv(av_write_frame(fragmented_, nullptr), "Cannot write \"" + path_ + "\"");
    declareLength();
}

void MovieMuxer::closeFragmentedFile() {
    closed_ = true;
    if (!headerWritten_) return;
    checkAv(av_write_trailer(fragmented_), "Cannot finish writing \"" + path_ + "\"");
    declareLength();
    file_->syncToDisk();
}

void MovieMuxer::abandon() {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    try {
        closeFragmentedFile();
    } catch (const FfmpegError&) {
        // The writer already reported the failure that led here; the file stays as it is.
    }
}

void MovieMuxer::finish() {
    std::lock_guard lock(mutex_);
    if (closed_) throw FfmpegError("\"" + path_ + "\" is already closed");
    closeFragmentedFile();
    reached("closed");
    settleTimings();
    indexInPlace();
}

void MovieMuxer::indexInPlace() {
    const FragmentedLayout layout = scanFragmentedFile(*file_);
    std::vector<IndexedTrack> tracks(tracks_.size());
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        const AVRational trackTimeBase = fragmented_->streams[i]->time_base;
        tracks[i].written = written_[i];
        for (const PacketTiming& timing : timings_[i]) {
            const auto ticks = [&](std::int64_t value) { return av_rescale_q(value, tracks_[i].timeBase, trackTimeBase); };
            tracks[i].samples.push_back(SampleTiming{ticks(timing.pts), ticks(timing.dts), ticks(timing.duration),
                                                     (timing.flags & AV_PKT_FLAG_KEY) != 0});
        }
    }
    const auto movie = buildIndexedMovie(layout.movie, tracks, layout.tracks);

    // Players take the first moov they meet, so the indexed one after the fragments is not
    // read until the fragmented one before them is gone.
    file_->writeAt(static_cast<std::int64_t>(layout.end), movie);
    reached("appended");
    file_->syncToDisk();
    // The switch: the fragmented moov, the fragments and their media become one media data
    // box, so the moov after it is the only one and nothing fragmented is left. These few
    // bytes lie within the file's first disk sector, which a device writes whole.
    const auto start = indexedFileStart(indexedFileType_, layout.end);
    if (start.size() > layout.movieOffset + layout.movie.size())
        throw FfmpegError("Cannot index \"" + path_ + "\": its header is too short");
    file_->writeAt(0, start);
    file_->syncToDisk();
    reached("committed");
}

}  // namespace kelvane::platform::ffmpeg
