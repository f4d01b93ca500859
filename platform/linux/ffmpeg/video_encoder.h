#pragma once
// H.264 through libx264: BGRA frames converted to 4:2:0 (players cannot show the 4:4:4
// that libx264 would pick for RGB input), variable frame rate on a 1/90000 time base,
// no B-frames so packets come out in presentation order and the end can be exact, and a
// keyframe at least every two seconds of media time however irregularly frames arrive.
#include <cstdint>
#include <functional>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/video_encoder_settings.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::ffmpeg {

using PacketSink = std::function<void(AVPacket&)>;

class VideoEncoder {
public:
    static constexpr AVRational timeBase{1, 90000};
    static constexpr std::int64_t keyframeSpacing = 2 * 90000;

    // Opens the encoder; throws FfmpegError when it cannot be opened with these settings.
    explicit VideoEncoder(const VideoEncoderSettings& settings);

    const AVCodecContext& context() const { return *context_; }

    // Encodes `frame` shown from `pts` (ticks of timeBase, strictly increasing). A frame of
    // another size is scaled to the encoder's. Finished packets go to `sink`.
    void encode(const VideoFrame& frame, std::int64_t pts, const PacketSink& sink);
    // Drains the encoder's delayed packets into `sink`.
    void flush(const PacketSink& sink);
    // Frames sent to the encoder that have not come out as packets yet.
    std::int64_t framesHeld() const { return framesSent_ - packetsReceived_; }

private:
    void open();
    void convert(const VideoFrame& frame);
    void send(AVFrame* frame, const PacketSink& sink);

    VideoEncoderSettings settings_;
    CodecContextPtr context_;
    FramePtr picture_;
    PacketPtr packet_;
    ScaleContextPtr scaler_;
    int scalerWidth_ = 0;
    int scalerHeight_ = 0;
    std::int64_t lastKeyframePts_ = 0;
    bool anyFrameSent_ = false;
    std::int64_t framesSent_ = 0;
    std::int64_t packetsReceived_ = 0;
};

}  // namespace kelvane::platform::ffmpeg
