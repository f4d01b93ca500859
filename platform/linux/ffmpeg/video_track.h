#pragma once
// The video track of a movie file: frames in strictly increasing time order (a frame at
// or before the previous one, before the session start or at or after its end is left
// out), encoded to H.264, each packet lasting until the next.
#include <optional>

#include "platform/linux/ffmpeg/packet_durations.h"
#include "platform/linux/ffmpeg/track_encoder.h"
#include "platform/linux/ffmpeg/video_encoder.h"

namespace kelvane::platform::ffmpeg {

class VideoTrack final : public TrackEncoder {
public:
    explicit VideoTrack(const VideoOutputSettings& settings) : encoder_(settings) {}

    const AVCodecContext& context() const override { return encoder_.context(); }
    void connect(PacketSink sink) override { durations_.emplace(std::move(sink)); }
    void encode(const SampleBuffer& buffer, const MediaTime& sessionStart,
                const std::optional<MediaTime>& sessionEnd) override;
    void flush(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd) override;
    bool holdsLastFrame() const override { return true; }
    std::optional<std::int64_t> naturalEnd() const override;

private:
    static constexpr int rate = VideoEncoder::timeBase.den;
    // One frame at 60 fps, for a last frame whose duration nothing tells.
    static constexpr std::int64_t defaultFrameDuration = rate / 60;

    PacketSink held();

    VideoEncoder encoder_;
    std::optional<PacketDurations> durations_;
    std::optional<std::int64_t> lastPts_;
    // The last frame the encoder took; later frames may have repeated its pixels.
    std::optional<std::int64_t> lastEncodedPts_;
    std::int64_t lastDuration_ = 0;
};

}  // namespace kelvane::platform::ffmpeg
