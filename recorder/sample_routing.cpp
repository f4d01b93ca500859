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
    const auto placed = s.timeline.place(buffer.presentationTimeStamp(), type == StreamOutputType::screen);
    if (!placed) return;
    const MediaTime time = *placed;

    const RecordingOutputs& outputs = s.outputs;
    switch (type) {
        case StreamOutputType::microphone:
            if (outputs.microphoneOnly.input) {
                retimedAppend(outputs.microphoneOnly.input, buffer, time, s.firstMicrophoneSampleTime, false);
            }
            // With system audio captured, the inline track carries system audio only.
            if (!s.capturesSystemAudio && outputs.inlineAudioInput &&
                outputs.inlineAudioInput->isReadyForMoreMediaData()) {
                retimedAppend(outputs.inlineAudioInput, buffer, time, s.firstInlineAudioSampleTime, true);
            }
            break;
        case StreamOutputType::audio:
            if (!outputs.systemAudio.input) return;
            retimedAppend(outputs.systemAudio.input, buffer, time, s.firstSystemAudioSampleTime, false);
            if (outputs.inlineAudioInput && outputs.inlineAudioInput->isReadyForMoreMediaData()) {
                retimedAppend(outputs.inlineAudioInput, buffer, time, s.firstInlineAudioSampleTime, true);
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
    const InputPtr& videoInput = s.outputs.videoInput;
    if (!isCompleteFrame(buffer)) return;
    if (!videoInput || !videoInput->isReadyForMoreMediaData()) return;
    // A writer must only ever see increasing frame times. The first frame after a resume
    // lands on the instant of the pause, which a frame taken just then already holds, and
    // stamps that run backwards clamp to zero; only the first frame at an instant is kept.
    if (!s.timeline.risesAfterLastFrame(time)) return;
    s.lastSampleBuffer = buffer;
    const auto copy = buffer.copyWithTiming({buffer.duration(), time, buffer.decodeTimeStamp()});
    if (!copy) return;
    videoInput->append(*copy);
    // Recorded even when the append was refused: the timeline moved on regardless.
    s.timeline.recordFrame(time, buffer.duration());
}

void ScreenCaptureRecorder::pause() {
    std::lock_guard lock(mutex_);
    if (!state_.isRecording || state_.isPaused) return;
    state_.isPaused = true;
    state_.timeline.pause(platform_.hostClock->now());
}

void ScreenCaptureRecorder::resume() {
    std::lock_guard lock(mutex_);
    if (!state_.isRecording || !state_.isPaused) return;
    state_.isPaused = false;
    state_.timeline.resume();
}

void ScreenCaptureRecorder::didStopWithError(const std::string& localizedDescription) {
    common::writeErrorLine("Error: " + localizedDescription);
}

}  // namespace kelvane::recorder
