#pragma once
// H.264 through libx264: BGRA frames converted to 4:2:0 (players cannot show the 4:4:4
// that libx264 would pick for RGB input), variable frame rate on a 1/90000 time base,
// no B-frames so packets come out in presentation order and the end can be exact, and a
// keyframe at least every two seconds of media time however irregularly frames arrive.
// libx264 is driven directly rather than through libavcodec so the search effort can
// follow how busy the encoder is while the stream goes on, and so it can be told which
// macroblocks did not change since the frame before.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/banded_yuv_converter.h"
#include "platform/linux/ffmpeg/encoder_effort.h"
#include "platform/linux/ffmpeg/video_encoder_settings.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::ffmpeg {

using PacketSink = std::function<void(AVPacket&)>;

class VideoEncoder {
public:
    static constexpr AVRational timeBase{1, 90000};
    static constexpr std::int64_t keyframeSpacing = 2 * 90000;
    static constexpr std::int64_t longestRepeat = 90000;

    // Opens the encoder; throws FfmpegError when it cannot be opened with these settings.
    explicit VideoEncoder(const VideoEncoderSettings& settings);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // The stream as the muxer needs to know it (no codec is opened in it).
    const AVCodecContext& context() const { return *description_; }

    // Encodes the video frame of `buffer` shown from `pts` (ticks of timeBase, strictly
    // increasing). A frame of another size is scaled to the encoder's. Finished packets go
    // to `sink`. A frame with the very same pixels as the one before is not encoded (the
    // one before simply lasts longer), unless a keyframe is due or the last encoded frame
    // is a second old, so a still screen still reaches the file. Returns whether the frame
    // was encoded.
    bool encode(const SampleBuffer& buffer, std::int64_t pts, const PacketSink& sink);
    // Drains the encoder's delayed packets into `sink`.
    void flush(const PacketSink& sink);
    // Frames sent to the encoder that have not come out as packets yet.
    std::int64_t framesHeld() const;
    int searchEffort() const { return effort_.level(); }

private:
    void deliver(const x264_nal_t* units, int bytes, const x264_picture_t& encoded, const PacketSink& sink);

    x264_param_t parameters_;
    x264_t* encoder_ = nullptr;
    CodecContextPtr description_;
    PacketPtr packet_;
    BandedYuvConverter converter_;
    // What libx264 is told about each macroblock of the frame it encodes; it reads this
    // only during the call that encodes the frame, since it holds no frame back.
    std::vector<std::uint8_t> blockInfo_;
    EncoderEffort effort_;
    std::int64_t lastKeyframePts_ = 0;
    std::int64_t lastSentPts_ = 0;
    bool anyFrameSent_ = false;
};

}  // namespace kelvane::platform::ffmpeg
