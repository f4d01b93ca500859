#pragma once
// AAC through FFmpeg's native encoder at 48000 Hz stereo. Float PCM of any rate and
// channel count is converted, placed on the track's continuous timeline (gaps become
// silence, overlaps are trimmed) and cut into whole 1024-sample encoder frames.
#include <cstdint>
#include <vector>

#include "platform/linux/ffmpeg/audio_timeline.h"
#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/video_encoder.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::ffmpeg {

class AudioEncoder {
public:
    static constexpr int sampleRate = 48000;
    static constexpr int channels = 2;
    static constexpr AVRational timeBase{1, sampleRate};
    // Start times closer than this to where the track has reached are jitter (2 ms).
    static constexpr std::int64_t jitterTolerance = sampleRate / 500;

    // Opens the encoder; throws FfmpegError.
    explicit AudioEncoder(std::int64_t bitRate);

    const AVCodecContext& context() const { return *context_; }

    // Adds `pcm`, whose first sample belongs at sample `start` of the track (48000 Hz).
    void encode(const AudioPcm& pcm, std::int64_t start, const PacketSink& sink);
    // No sample at or after `end` is encoded.
    void setEnd(std::int64_t end) { timeline_.setEnd(end); }
    // Encodes what is left (the last frame may be short) and drains the encoder.
    void flush(const PacketSink& sink);

private:
    void prepareConverter(const AudioPcm& pcm);
    void writeSilence(std::int64_t samples);
    void encodeWholeFrames(const PacketSink& sink);
    void encodeFrame(int samples, const PacketSink& sink);
    void send(AVFrame* frame, const PacketSink& sink);

    CodecContextPtr context_;
    FramePtr frame_;
    PacketPtr packet_;
    AudioFifoPtr fifo_;
    ResampleContextPtr converter_;
    int converterRate_ = 0;
    int converterChannels_ = 0;
    std::vector<std::vector<float>> converted_;
    AudioTimeline timeline_{jitterTolerance};
    std::int64_t nextFramePts_ = 0;
};

}  // namespace kelvane::platform::ffmpeg
