#pragma once
// The recording's timeline: host-clock sample times turned into media times that start at
// the first screen sample, with paused time cut out, and video times that only ever rise.
// A plain value: the recorder guards it with its own mutex.
#include <cstdint>
#include <optional>

#include "platform/media_time.h"

namespace kelvane::recorder {

struct RecordingTimeline {
    using MediaTime = platform::MediaTime;

    // The origin: the host time of the first screen sample, zero until one arrived.
    MediaTime firstSampleTime = MediaTime::zero();
    std::optional<MediaTime> pauseStartedHostTime;
    // Resumed, and the paused time is cut out when the next sample arrives.
    bool pendingResumeAdjustment = false;
    MediaTime accumulatedPausedDuration = MediaTime::zero();
    MediaTime lastVideoPresentationTime = MediaTime::zero();
    MediaTime lastVideoDuration = MediaTime::zero();
    std::int64_t frameCount = 0;

    bool hasOrigin() const { return firstSampleTime != MediaTime::zero(); }

    void pause(const MediaTime& hostNow);
    void resume();

    // The media time of a sample stamped `hostTime`, never below zero; nothing for a sample
    // without a time or one that comes before the first screen sample fixed the origin.
    std::optional<MediaTime> place(const MediaTime& hostTime, bool isScreenSample);

    // Whether a frame at `time` comes after every frame already written.
    bool risesAfterLastFrame(const MediaTime& time) const;
    void recordFrame(const MediaTime& time, const MediaTime& duration);
    // `sampleDuration` when usable, else the last frame's, else `fallback`.
    MediaTime frameDuration(const MediaTime& sampleDuration, const MediaTime& fallback) const;

    // The recording's own end when stopped at `stopHostTime`, or at the start of a pause
    // still in effect; nothing while there is no origin.
    std::optional<MediaTime> end(const MediaTime& stopHostTime) const;
};

}  // namespace kelvane::recorder
