#include "recorder/recording_timeline.h"

namespace kelvane::recorder {

using platform::MediaTime;

namespace {

MediaTime clampedToZero(const MediaTime& time) {
    return time.isValid() && time >= MediaTime::zero() ? time : MediaTime::zero();
}

}  // namespace

void RecordingTimeline::pause(const MediaTime& hostNow) {
    pauseStartedHostTime = hostNow;
    pendingResumeAdjustment = false;
}

void RecordingTimeline::resume() { pendingResumeAdjustment = true; }

std::optional<MediaTime> RecordingTimeline::place(const MediaTime& hostTime, bool isScreenSample) {
    // A sample without a time cannot be placed, and must not fold a pause.
    if (!hostTime.isValid()) return std::nullopt;

    // Resume fold: cut everything from the pause up to this sample out of the timeline.
    // Before the first screen sample there is no timeline yet: the origin that sample
    // fixes comes after the whole pause, so such a pause removes nothing.
    if (pendingResumeAdjustment && pauseStartedHostTime) {
        const MediaTime gap = hostTime - *pauseStartedHostTime;
        if (hasOrigin() && gap > MediaTime::zero()) accumulatedPausedDuration = accumulatedPausedDuration + gap;
        pauseStartedHostTime.reset();
        pendingResumeAdjustment = false;
    }

    // The first screen sample fixes the origin whatever becomes of it.
    if (isScreenSample && !hasOrigin()) firstSampleTime = hostTime;
    if (!hasOrigin()) return std::nullopt;
    return clampedToZero((hostTime - firstSampleTime) - accumulatedPausedDuration);
}

bool RecordingTimeline::risesAfterLastFrame(const MediaTime& time) const {
    return frameCount == 0 || time > lastVideoPresentationTime;
}

void RecordingTimeline::recordFrame(const MediaTime& time, const MediaTime& duration) {
    lastVideoPresentationTime = time;
    lastVideoDuration = duration;
    ++frameCount;
}

MediaTime RecordingTimeline::frameDuration(const MediaTime& sampleDuration, const MediaTime& fallback) const {
    if (sampleDuration.isValid() && sampleDuration > MediaTime::zero()) return sampleDuration;
    if (lastVideoDuration.isValid() && lastVideoDuration > MediaTime::zero()) return lastVideoDuration;
    return fallback;
}

std::optional<MediaTime> RecordingTimeline::end(const MediaTime& stopHostTime) const {
    if (!hasOrigin()) return std::nullopt;
    return clampedToZero((pauseStartedHostTime.value_or(stopHostTime) - firstSampleTime) - accumulatedPausedDuration);
}

}  // namespace kelvane::recorder
