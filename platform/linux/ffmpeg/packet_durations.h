#pragma once
// Video packets leave the encoder without durations; each one lasts until the next one
// starts. The newest packet is therefore held back until its successor (or the end of
// the track) is known, then passed on with its duration.
#include <cstdint>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/video_encoder.h"

namespace kelvane::platform::ffmpeg {

class PacketDurations {
public:
    explicit PacketDurations(PacketSink sink);

    // Takes a reference to `packet`; passes on the one held before it.
    void push(const AVPacket& packet);
    // Passes on the held packet lasting `lastDuration` ticks.
    void finish(std::int64_t lastDuration);

private:
    PacketSink sink_;
    PacketPtr held_;
    bool holding_ = false;
};

}  // namespace kelvane::platform::ffmpeg
