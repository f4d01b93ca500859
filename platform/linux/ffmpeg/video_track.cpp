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
    encoder_.encode(buffer, *pts, held());
}

void VideoTrack::flush(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd) {
    encoder_.flush(held());
    std::int64_t lastDuration = lastDuration_ > 0 ? lastDuration_ : defaultFrameDuration;
    if (sessionEnd && lastPts_) {
        const auto end = ticksSince(sessionStart, *sessionEnd, rate);
        if (end && *end > *lastPts_) lastDuration = *end - *lastPts_;
    }
    durations_->finish(lastDuration);
}

std::optional<std::int64_t> VideoTrack::naturalEnd() const {
    if (!lastPts_) return std::nullopt;
    return *lastPts_ + (lastDuration_ > 0 ? lastDuration_ : defaultFrameDuration);
}

}  // namespace kelvane::platform::ffmpeg
