#include "platform/linux/ffmpeg/video_track.h"

#include "platform/linux/ffmpeg/media_ticks.h"

namespace kelvane::platform::ffmpeg {

// Packets wait there until the next one tells how long they last.
PacketSink VideoTrack::held() {
    return [this](AVPacket& packet) { durations_->push(packet); };
}

void VideoTrack::encode(const SampleBuffer& buffer, const MediaTime& sessionStart,
                        const std::optional<MediaTime>& sessionEnd) {
    const VideoFrame* frame = buffer.videoFrame();
    const auto pts = ticksSince(sessionStart, buffer.presentationTimeStamp(), rate);
    if (frame == nullptr || !pts || *pts < 0) return;
    if (lastPts_ && *pts <= *lastPts_) return;
    if (sessionEnd) {
        const auto end = ticksSince(sessionStart, *sessionEnd, rate);
        if (end && *pts >= *end) return;
    }
    const auto ownDuration = ticksSince(MediaTime::zero(), buffer.duration(), rate);
    if (ownDuration && *ownDuration > 0) {
        lastDuration_ = *ownDuration;
    } else if (lastPts_) {
        lastDuration_ = *pts - *lastPts_;
    }
    lastPts_ = pts;
    if (encoder_.encode(buffer, *pts, held())) lastEncodedPts_ = pts;
}

void VideoTrack::flush(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd) {
    encoder_.flush(held());
    if (!lastEncodedPts_) {
        durations_->finish(defaultFrameDuration);
        return;
    }
    // The last packet lasts through the frames that repeated it, to the session's end.
    std::int64_t end = naturalEnd().value_or(*lastEncodedPts_ + defaultFrameDuration);
    if (sessionEnd) {
        const auto sessionEndTicks = ticksSince(sessionStart, *sessionEnd, rate);
        if (sessionEndTicks && *sessionEndTicks > *lastEncodedPts_) end = *sessionEndTicks;
    }
    durations_->finish(end - *lastEncodedPts_);
}

std::optional<std::int64_t> VideoTrack::naturalEnd() const {
    if (!lastPts_) return std::nullopt;
    return *lastPts_ + (lastDuration_ > 0 ? lastDuration_ : defaultFrameDuration);
}

}  // namespace kelvane::platform::ffmpeg
