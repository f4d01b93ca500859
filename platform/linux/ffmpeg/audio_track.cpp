#include "platform/linux/ffmpeg/audio_track.h"

#include "platform/linux/ffmpeg/media_ticks.h"

namespace kelvane::platform::ffmpeg {

void AudioTrack::applyEnd(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd) {
    if (!sessionEnd) return;
    if (const auto end = ticksSince(sessionStart, *sessionEnd, AudioEncoder::sampleRate)) encoder_.setEnd(*end);
}

void AudioTrack::encode(const SampleBuffer& buffer, const MediaTime& sessionStart,
                        const std::optional<MediaTime>& sessionEnd) {
    const AudioPcm* pcm = buffer.audioPcm();
    const auto start = ticksSince(sessionStart, buffer.presentationTimeStamp(), AudioEncoder::sampleRate);
    if (pcm == nullptr || !start) return;
    applyEnd(sessionStart, sessionEnd);
    encoder_.encode(*pcm, *start, sink_);
}

void AudioTrack::flush(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd) {
    applyEnd(sessionStart, sessionEnd);
    encoder_.flush(sink_);
}

}  // namespace kelvane::platform::ffmpeg
