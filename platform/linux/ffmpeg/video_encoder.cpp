#include "platform/linux/ffmpeg/video_encoder.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
}

namespace kelvane::platform::ffmpeg {

VideoEncoder::VideoEncoder(const VideoEncoderSettings& settings) : settings_(settings) {
    picture_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!picture_ || !packet_) throw FfmpegError("Cannot set up the H.264 encoder: out of memory");
    open();
    picture_->format = context_->pix_fmt;
    picture_->width = context_->width;
    picture_->height = context_->height;
    picture_->color_range = context_->color_range;
    picture_->colorspace = context_->colorspace;
    checkAv(av_frame_get_buffer(picture_.get(), 0), "Cannot allocate a video frame");
}

void VideoEncoder::open() {
    const AVCodec* codec = avcodec_find_encoder_by_name(h264EncoderName);
    if (codec == nullptr) throw FfmpegError("This FFmpeg build has no H.264 encoder");
    context_.reset(avcodec_alloc_context3(codec));
    if (!context_) throw FfmpegError("Cannot set up the H.264 encoder: out of memory");
    context_->time_base = timeBase;
    AVDictionary* options = nullptr;
    configureVideoEncoder(settings_, *context_, &options);
    const int opened = avcodec_open2(context_.get(), codec, &options);
    av_dict_free(&options);
    checkAv(opened, "Cannot open the H.264 encoder for " + std::to_string(settings_.width) + "x" +
                        std::to_string(settings_.height));
}

void VideoEncoder::convert(const VideoFrame& frame) {
    // A frame that only has one more odd column or row than the encoder keeps is cropped,
    // anything else is scaled to fit.
    const bool crop = encodedDimension(frame.width) == context_->width &&
                      encodedDimension(frame.height) == context_->height;
    const int sourceWidth = crop ? context_->width : frame.width;
    const int sourceHeight = crop ? context_->height : frame.height;
    if (!scaler_ || scalerWidth_ != sourceWidth || scalerHeight_ != sourceHeight) {
        scaler_.reset(sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGRA, context_->width, context_->height,
                                     context_->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scaler_) throw FfmpegError("Cannot convert video frames of " + std::to_string(frame.width) + "x" +
                                        std::to_string(frame.height));
        // Full-range RGB in, BT.709 limited range out, as the stream is tagged.
        sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
        scalerWidth_ = sourceWidth;
        scalerHeight_ = sourceHeight;
    }
    checkAv(av_frame_make_writable(picture_.get()), "Cannot write a video frame");
    const std::uint8_t* source[4] = {frame.pixels.data(), nullptr, nullptr, nullptr};
    const int sourceStride[4] = {frame.stride, 0, 0, 0};
    sws_scale(scaler_.get(), source, sourceStride, 0, sourceHeight, picture_->data, picture_->linesize);
}

void VideoEncoder::encode(const VideoFrame& frame, std::int64_t pts, const PacketSink& sink) {
    if (frame.width <= 0 || frame.height <= 0 || frame.stride < frame.width * 4 ||
        frame.pixels.size() < static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height))
        throw FfmpegError("A video frame's pixels do not match its size");
    convert(frame);
    picture_->pts = pts;
    if (!anyFrameSent_ || pts - lastKeyframePts_ >= keyframeSpacing) {
        picture_->pict_type = AV_PICTURE_TYPE_I;
        lastKeyframePts_ = pts;
        anyFrameSent_ = true;
    } else {
        picture_->pict_type = AV_PICTURE_TYPE_NONE;
    }
    ++framesSent_;
    send(picture_.get(), sink);
}

void VideoEncoder::flush(const PacketSink& sink) { send(nullptr, sink); }

void VideoEncoder::send(AVFrame* frame, const PacketSink& sink) {
    checkAv(avcodec_send_frame(context_.get(), frame), "Cannot encode video");
    for (;;) {
        const int result = avcodec_receive_packet(context_.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        checkAv(result, "Cannot encode video");
        ++packetsReceived_;
        sink(*packet_);
        av_packet_unref(packet_.get());
    }
}

}  // namespace kelvane::platform::ffmpeg
