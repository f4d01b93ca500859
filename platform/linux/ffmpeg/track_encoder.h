#pragma once
// What one input of a writer does on its worker: turns appended buffers, already on the
// file's timeline, into packets for its track.
#include <cstdint>
#include <optional>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/video_encoder.h"
#include "platform/media_time.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::ffmpeg {

class TrackEncoder {
public:
    virtual ~TrackEncoder() = default;

    // The opened encoder, for describing the track to the muxer.
    virtual const AVCodecContext& context() const = 0;
    // Where finished packets go (times in the encoder's time base).
    virtual void connect(PacketSink sink) = 0;
    // Encodes one buffer. `sessionEnd` is set once the session has been ended. Throws FfmpegError.
    virtual void encode(const SampleBuffer& buffer, const MediaTime& sessionStart,
                        const std::optional<MediaTime>& sessionEnd) = 0;
    // Drains the encoder at the end of the track; throws FfmpegError.
    virtual void flush(const MediaTime& sessionStart, const std::optional<MediaTime>& sessionEnd) = 0;
    // True when each packet lasts until the next and the last one until the track's end
    // (video); false when packets carry their own durations and the track simply stops at
    // the end or before it (audio).
    virtual bool holdsLastFrame() const = 0;
    // Where the track ends when the session sets no end (ticks of the encoder time base).
    virtual std::optional<std::int64_t> naturalEnd() const = 0;
};

}  // namespace kelvane::platform::ffmpeg
