#include "common/line_output.h"
#include "recorder/screen_capture_recorder.h"

namespace kelvane::recorder {

using platform::MediaTime;
using platform::SampleBuffer;
using platform::StreamOutputType;

namespace {

// Only a frame whose first attachment dictionary says "complete" as an integer is written.
bool isCompleteFrame(const SampleBuffer& buffer) {
    const auto& attachments = buffer.attachments();
    if (!attachments || attachments->empty()) return false;
    const auto& first = attachments->front();
    const auto status = first.find(platform::frameStatusAttachmentKey);
    if (status == first.end()) return false;
    const auto* value = std::get_if<std::int64_t>(&status->second);
    return value && *value == static_cast<std::int64_t>(platform::FrameStatus::complete);
}

}  // namespace

void ScreenCaptureRecorder::didOutputSampleBuffer(const SampleBuffer& buffer, StreamOutputType type) {
    std::lock_guard lock(mutex_);
    State& s = state_;
    if (!s.sessionStarted || !buffer.isValid() || !s.isRecording || s.isPaused) return;

    const MediaTime sourceTime = buffer.presentationTimeStamp();
    // A sample without a time cannot be placed on the timeline, and must not fold a pause.
    if (!sourceTime.isValid()) return;

    // Resume fold: cut everything from the pause up to this sample out of the timeline.
    // Before the first screen sample there is no timeline yet: the origin that sample
    // fixes comes after the whole pause, so such a pause removes nothing.
    if (s.pendingResumeAdjustment && s.pauseStartedHostTime) {
        const MediaTime gap = sourceTime - *s.pauseStartedHostTime;
        const bool hasOrigin = s.firstSampleTime != MediaTime::zero();
        if (hasOrigin && gap > MediaTime::zero()) s.accumulatedPausedDuration = s.accumulatedPausedDuration + gap;
        s.pauseStartedHostTime.reset();
        s.pendingResumeAdjustment = false;
    }

    // The first screen sample fixes the origin whatever its frame status.
    if (type == StreamOutputType::screen && s.firstSampleTime == MediaTime::zero()) s.firstSampleTime = sourceTime;
    if (s.firstSampleTime == MediaTime::zero()) return;

    MediaTime time = (sourceTime - s.firstSampleTime) - s.accumulatedPausedDuration;
    if (!(time >= MediaTime::zero()) || !time.isValid()) time = MediaTime::zero();

    switch (type) {
        case StreamOutputType::microphone:
            if (s.microphoneOnlyInput) {
                retimedAppend(s.microphoneOnlyInput, buffer, time, s.firstMicrophoneSampleTime, false);
            }
            // With system audio captured, the inline track carries system audio only.
            if (!s.capturesSystemAudio && s.inlineAudioInput && s.inlineAudioInput->isReadyForMoreMediaData()) {
                retimedAppend(s.inlineAudioInput, buffer, time, s.firstInlineAudioSampleTime, true);
            }
            break;
        case StreamOutputType::audio:
            if (!s.systemAudioInput) return;
            retimedAppend(s.systemAudioInput, buffer, time, s.firstSystemAudioSampleTime, false);
            if (s.inlineAudioInput && s.inlineAudioInput->isReadyForMoreMediaData()) {
                retimedAppend(s.inlineAudioInput, buffer, time, s.firstInlineAudioSampleTime, true);
            }
            break;
        case StreamOutputType::screen:
            handleScreenFrame(buffer, time);
            break;
    }
}

void ScreenCaptureRecorder::retimedAppend(const InputPtr& input, const SampleBuffer& buffer, const MediaTime& time,
                                          std::optional<MediaTime>& firstTime, bool isInlineAudio) {
    if (!input->isReadyForMoreMediaData()) return;
    if (!firstTime) firstTime = time;
    const auto copy = buffer.copyWithTiming({buffer.duration(), time, buffer.decodeTimeStamp()});
    if (!copy) return;
    if (input->append(*copy) && isInlineAudio) {
        state_.lastInlineAudioPresentationTime = time;
        state_.lastInlineAudioDuration = buffer.duration();
    }
}

void ScreenCaptureRecorder::handleScreenFrame(const SampleBuffer& buffer, const MediaTime& time) {
    State& s = state_;
    if (!isCompleteFrame(buffer)) return;
    if (!s.videoInput || !s.videoInput->isReadyForMoreMediaData()) return;
    // A writer must only ever see increasing frame times. The first frame after a resume
    // lands on the instant of the pause, which a frame taken just then already holds, and
    // stamps that run backwards clamp to zero; only the first frame at an instant is kept.
    if (s.frameCount > 0 && time <= s.lastVideoPresentationTime) return;
    s.lastSampleBuffer = buffer;
    const auto copy = buffer.copyWithTiming({buffer.duration(), time, buffer.decodeTimeStamp()});
    if (!copy) return;
    s.videoInput->append(*copy);
    // Advanced even when the append was refused: the timeline moved on regardless.
    s.lastVideoPresentationTime = time;
    s.lastVideoDuration = buffer.duration();
    ++s.frameCount;
}

MediaTime ScreenCaptureRecorder::frameDuration(const SampleBuffer& buffer) const {
    if (buffer.duration().isValid() && buffer.duration() > MediaTime::zero()) return buffer.duration();
    if (state_.lastVideoDuration.isValid() && state_.lastVideoDuration > MediaTime::zero()) {
        return state_.lastVideoDuration;
    }
    return MediaTime::make(1, static_cast<std::int32_t>(targetCaptureFPS));
}

void ScreenCaptureRecorder::pause() {
    std::lock_guard lock(mutex_);
    if (!state_.isRecording || state_.isPaused) return;
    state_.isPaused = true;
    state_.pauseStartedHostTime = platform_.hostClock->now();
    state_.pendingResumeAdjustment = false;
}

void ScreenCaptureRecorder::resume() {
    std::lock_guard lock(mutex_);
    if (!state_.isRecording || !state_.isPaused) return;
    state_.isPaused = false;
    state_.pendingResumeAdjustment = true;
}

void ScreenCaptureRecorder::didStopWithError(const std::string& localizedDescription) {
    common::writeErrorLine("Error: " + localizedDescription);
}

}  // namespace kelvane::recorder
