#pragma once
// An AAC track: each buffer lands at the sample its media time names, the track stays
// continuous, and nothing is encoded at or after the session's end.
#include "platform/linux/ffmpeg/audio_encoder.h"
#include "platform/linux/ffmpeg/track_encoder.h"

namespace kelvane::platform::ffmpeg {

class AudioTrack final : public TrackEncoder {
public:
    explicit AudioTrack(std::int64_t bitRate) : encoder_(bitRate) {}

    const AVCodecContext& context() const override { return encoder_.context(); }
    void connect(PacketSink sink) override { sink_ = std::move(sink); }
    void encode(const SampleBuffer& buffer, const MediaTime& sessionStart,
                const std::optional<MediaTime>& sessionEnd) override;
    void flush(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd) override;
    bool holdsLastFrame() const override { return false; }
    std::optional<std::int64_t> naturalEnd() const override { return std::nullopt; }

private:
    void applyEnd(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd);

    AudioEncoder encoder_;
    PacketSink sink_;
};

}  // namespace kelvane::platform::ffmpeg
