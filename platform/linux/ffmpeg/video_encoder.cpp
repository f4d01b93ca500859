#include "platform/linux/ffmpeg/video_encoder.h"

#include <chrono>
#include <cstring>
#include <string>

namespace kelvane::platform::ffmpeg {
namespace {

// A picture counts as mostly still when at most one in this many macroblocks changed.
constexpr std::size_t mostlyStillShare = 4;

// Copies the sequence and picture parameter sets (with their start codes) into the
// stream description; the muxer turns them into the file's decoder configuration.
void storeParameterSets(x264_t* encoder, AVCodecContext& description) {
    x264_nal_t* units = nullptr;
    int count = 0;
    if (x264_encoder_headers(encoder, &units, &count) < 0) throw FfmpegError("Cannot start the H.264 encoder");
    int size = 0;
    for (int i = 0; i < count; ++i) {
        if (units[i].i_type == NAL_SPS || units[i].i_type == NAL_PPS) size += units[i].i_payload;
    }
    description.extradata = static_cast<std::uint8_t*>(av_mallocz(static_cast<std::size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (description.extradata == nullptr) throw FfmpegError("Cannot start the H.264 encoder: out of memory");
    description.extradata_size = size;
    std::uint8_t* cursor = description.extradata;
    for (int i = 0; i < count; ++i) {
        if (units[i].i_type != NAL_SPS && units[i].i_type != NAL_PPS) continue;
        std::memcpy(cursor, units[i].p_payload, static_cast<std::size_t>(units[i].i_payload));
        cursor += units[i].i_payload;
    }
}

}  // namespace

VideoEncoder::VideoEncoder(const VideoEncoderSettings& settings)
    : parameters_(videoEncoderParameters(settings, timeBase)),
      converter_(parameters_.i_width, parameters_.i_height),
      blockInfo_(converter_.changedBlocks().size()) {
    applySearchEffort(parameters_, effort_.level());
    encoder_ = x264_encoder_open(&parameters_);
    if (encoder_ == nullptr) {
        throw FfmpegError("Cannot open the H.264 encoder for " + std::to_string(settings.width) + "x" +
                          std::to_string(settings.height));
    }
    description_.reset(avcodec_alloc_context3(nullptr));
    packet_.reset(av_packet_alloc());
    if (!description_ || !packet_) {
        x264_encoder_close(encoder_);
        throw FfmpegError("Cannot set up the H.264 encoder: out of memory");
    }
    try {
        describeVideoStream(parameters_, timeBase, *description_);
        storeParameterSets(encoder_, *description_);
    } catch (...) {
        x264_encoder_close(encoder_);
        throw;
    }
}

VideoEncoder::~VideoEncoder() { x264_encoder_close(encoder_); }

std::int64_t VideoEncoder::framesHeld() const { return x264_encoder_delayed_frames(encoder_); }

bool VideoEncoder::encode(const SampleBuffer& buffer, std::int64_t pts, const PacketSink& sink) {
    const auto started = std::chrono::steady_clock::now();
    const int changedBands = converter_.update(buffer);
    const bool keyframeDue = !anyFrameSent_ || pts - lastKeyframePts_ >= keyframeSpacing;
    if (changedBands == 0 && !keyframeDue && pts - lastSentPts_ < longestRepeat) return false;
    const AVFrame& picture = converter_.picture();

    x264_picture_t input;
    x264_picture_init(&input);
    input.img.i_csp = X264_CSP_I420;
    input.img.i_plane = 3;
    for (int plane = 0; plane < 3; ++plane) {
        input.img.plane[plane] = picture.data[plane];
        input.img.i_stride[plane] = picture.linesize[plane];
    }
    input.i_pts = pts;
    // On a mostly still picture, blocks unchanged since the frame encoded before are
    // skipped without a search. Not where much moved: a skipped block's zero motion would
    // mislead the search of its moving neighbours (a scroll), costing size.
    const std::vector<std::uint8_t>& changed = converter_.changedBlocks();
    std::size_t changedCount = 0;
    for (std::size_t block = 0; block < changed.size(); ++block) {
        blockInfo_[block] = changed[block] ? 0 : X264_MBINFO_CONSTANT;
        if (changed[block]) ++changedCount;
    }
    if (changedCount * mostlyStillShare <= changed.size()) input.prop.mb_info = blockInfo_.data();
    if (keyframeDue) {
        input.i_type = X264_TYPE_IDR;
        lastKeyframePts_ = pts;
        anyFrameSent_ = true;
    }
    lastSentPts_ = pts;
    x264_nal_t* units = nullptr;
    int count = 0;
    x264_picture_t encoded;
    const int bytes = x264_encoder_encode(encoder_, &units, &count, &input, &encoded);
    if (bytes < 0) throw FfmpegError("Cannot encode video");
    converter_.forgetChanges();
    if (bytes > 0) deliver(units, bytes, encoded, sink);

    const auto workNs = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - started);
    const std::int64_t mediaNs = pts * 1'000'000'000 / timeBase.den;
    if (const auto level = effort_.record(workNs.count(), mediaNs)) {
        applySearchEffort(parameters_, *level);
        if (x264_encoder_reconfig(encoder_, &parameters_) < 0) throw FfmpegError("Cannot change the H.264 search effort");
    }
    return true;
}

void VideoEncoder::flush(const PacketSink& sink) {
    while (x264_encoder_delayed_frames(encoder_) > 0) {
        x264_nal_t* units = nullptr;
        int count = 0;
        x264_picture_t encoded;
        const int bytes = x264_encoder_encode(encoder_, &units, &count, nullptr, &encoded);
        if (bytes < 0) throw FfmpegError("Cannot encode video");
        if (bytes > 0) deliver(units, bytes, encoded, sink);
    }
}

void VideoEncoder::deliver(const x264_nal_t* units, int bytes, const x264_picture_t& encoded, const PacketSink& sink) {
    checkAv(av_new_packet(packet_.get(), bytes), "Cannot encode video");
    // libx264 lays the units of one picture out back to back.
    std::memcpy(packet_->data, units[0].p_payload, static_cast<std::size_t>(bytes));
    packet_->pts = encoded.i_pts;
    packet_->dts = encoded.i_dts;
    if (encoded.b_keyframe) packet_->flags |= AV_PKT_FLAG_KEY;
    sink(*packet_);
    av_packet_unref(packet_.get());
}

}  // namespace kelvane::platform::ffmpeg
