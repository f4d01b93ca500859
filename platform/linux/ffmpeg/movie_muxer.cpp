#include "platform/linux/ffmpeg/movie_muxer.h"

#include <algorithm>

extern "C" {
#include <libavutil/dict.h>
}

namespace kelvane::platform::ffmpeg {
namespace {

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

// How much of a recording a power loss may cost at most, besides the fragment being written.
constexpr std::chrono::milliseconds diskSyncInterval{2000};

// A fragment at every video keyframe and at least every second (microseconds), each
// pushed out of FFmpeg's buffers as soon as it is complete.
void setFragmentOptions(AVDictionary** options) {
    av_dict_set(options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    av_dict_set(options, "frag_duration", "1000000", 0);
    av_dict_set(options, "flush_packets", "1", 0);
}

// Edit lists are counted in the movie's timescale, 1/1000 s unless told otherwise; in
// 1/48000 s every track can end on its exact sample (and video within 21 µs).
void setIndexedOptions(AVDictionary** options) { av_dict_set(options, "movie_timescale", "48000", 0); }

AVFormatContext* makeOutputContext(const std::string& formatName, AVIOContext* io, const std::string& path) {
    AVFormatContext* context = nullptr;
    checkAv(avformat_alloc_output_context2(&context, nullptr, formatName.c_str(), nullptr),
            "Cannot set up the " + formatName + " muxer for \"" + path + "\"");
    context->pb = io;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    return context;
}

}  // namespace

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
}

void MovieMuxer::write(int stream, AVPacket& packet) {
    std::lock_guard lock(mutex_);
    if (closed_ || !headerWritten_) throw FfmpegError("\"" + path_ + "\" is not open for writing");
    const PacketTiming timing{packet.pts, packet.dts, packet.duration, packet.flags};
    packet.stream_index = stream;
    av_packet_rescale_ts(&packet, tracks_[static_cast<std::size_t>(stream)].timeBase,
                         fragmented_->streams[stream]->time_base);
    checkAv(av_write_frame(fragmented_, &packet), "Cannot write \"" + path_ + "\"");
    timings_[static_cast<std::size_t>(stream)].push_back(timing);
    ++written_[static_cast<std::size_t>(stream)];
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
}

void MovieMuxer::closeFragmentedFile() {
    closed_ = true;
    if (!headerWritten_) return;
    checkAv(av_write_trailer(fragmented_), "Cannot finish writing \"" + path_ + "\"");
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
    settleTimings();
    rewriteIndexed();
}

void MovieMuxer::rewriteIndexed() {
    AVFormatContext* rawInput = avformat_alloc_context();
    if (rawInput == nullptr) throw FfmpegError("Cannot reread \"" + path_ + "\": out of memory");
    rawInput->pb = file_->input();
    rawInput->flags |= AVFMT_FLAG_CUSTOM_IO;
    checkAv(avformat_open_input(&rawInput, nullptr, av_find_input_format("mov"), nullptr),
            "Cannot reread \"" + path_ + "\"");
    std::unique_ptr<AVFormatContext, FormatContextCloser> input(rawInput);
    if (input->nb_streams != tracks_.size())
        throw FfmpegError("Cannot reread \"" + path_ + "\": its tracks differ from those written");

    auto replacement = MediaFile::createBeside(path_);
    AVFormatContext* output = makeOutputContext(formatName_, replacement->output(), path_);
    std::unique_ptr<AVFormatContext, decltype(&avformat_free_context)> outputOwner(output, &avformat_free_context);
    try {
        for (std::size_t i = 0; i < tracks_.size(); ++i) {
            AVStream* stream = avformat_new_stream(output, nullptr);
            if (stream == nullptr) throw FfmpegError("Cannot add a track to \"" + path_ + "\": out of memory");
            // The stored parameters describe the packets as stored (length-prefixed H.264).
            checkAv(avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar),
                    "Cannot describe a track of \"" + path_ + "\"");
            stream->codecpar->codec_tag = 0;
            stream->time_base = tracks_[i].timeBase;
        }
        AVDictionary* options = nullptr;
        setIndexedOptions(&options);
        const int headerWritten = avformat_write_header(output, &options);
        av_dict_free(&options);
        checkAv(headerWritten, "Cannot start writing \"" + path_ + "\"");

        std::vector<std::size_t> next(tracks_.size(), 0);
        std::vector<std::size_t> skipped(tracks_.size(), 0);
        PacketPtr packet(av_packet_alloc());
        for (;;) {
            const int result = av_read_frame(input.get(), packet.get());
            if (result == AVERROR_EOF) break;
            checkAv(result, "Cannot reread \"" + path_ + "\"");
            const auto track = static_cast<std::size_t>(packet->stream_index);
            if (track >= tracks_.size()) throw FfmpegError("Cannot reread \"" + path_ + "\": it has an unknown track");
            if (next[track] >= timings_[track].size()) {
                // Past the track's end.
                av_packet_unref(packet.get());
                ++skipped[track];
                continue;
            }
            const PacketTiming& timing = timings_[track][next[track]++];
            packet->pts = timing.pts;
            packet->dts = timing.dts;
            packet->duration = timing.duration;
            packet->flags = timing.flags;
            av_packet_rescale_ts(packet.get(), tracks_[track].timeBase, output->streams[track]->time_base);
            checkAv(av_interleaved_write_frame(output, packet.get()), "Cannot write \"" + path_ + "\"");
        }
        for (std::size_t i = 0; i < tracks_.size(); ++i) {
            if (next[i] + skipped[i] != written_[i])
                throw FfmpegError("Cannot reread \"" + path_ + "\": packets are missing from it");
        }
        checkAv(av_write_trailer(output), "Cannot finish writing \"" + path_ + "\"");
        replacement->syncToDisk();
        replacement->replace(path_);
    } catch (...) {
        replacement->unlink();
        throw;
    }
    file_ = std::move(replacement);
}

}  // namespace kelvane::platform::ffmpeg
