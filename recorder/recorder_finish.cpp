#include <array>

#include "common/line_output.h"
#include "recorder/capture_error.h"
#include "recorder/screen_capture_recorder.h"
#include "recorder/window_validation.h"

namespace kelvane::recorder {

using platform::MediaTime;

std::shared_ptr<common::OneShotEvent> ScreenCaptureRecorder::claimFinish() {
    std::lock_guard lock(mutex_);
    if (!state_.isRecording || state_.isFinishing) return nullptr;
    state_.isFinishing = true;
    finishReported_ = std::make_shared<common::OneShotEvent>();
    return finishReported_;
}

asio::awaitable<std::string> ScreenCaptureRecorder::stop() {
    const auto reported = claimFinish();
    if (!reported) {
        std::shared_ptr<common::OneShotEvent> running;
        {
            std::lock_guard lock(mutex_);
            if (state_.isFinishing) running = finishReported_;
        }
        // Only one finish may touch the writers. A stop that arrives during one waits
        // until it has been reported, so the process cannot end with the files half
        // closed, and then reports that nothing is recording any more.
        if (running) co_await running->wait();
        throw capture_errors::notRecording();
    }
    std::string path;
    try {
        path = co_await finish();
    } catch (...) {
        reported->fire();
        throw;
    }
    reported->fire();
    co_return path;
}

asio::awaitable<void> ScreenCaptureRecorder::finishWriter(const WriterPtr& writer) {
    co_await common::awaitCompletion<bool>([&writer](std::function<void(bool)> done) {
        writer->finishWriting([done = std::move(done)] { done(true); });
    });
    // Finishing reports no failure of its own, but a file the host cannot use must not
    // pass in silence.
    if (writer->status() == platform::MediaWriterStatus::failed || writer->error()) {
        common::writeErrorLine("Error: " + writer->error().value_or("Unable to finish writing " + writer->path()));
    }
}

asio::awaitable<std::string> ScreenCaptureRecorder::finish() {
    std::shared_ptr<platform::CaptureStream> stream;
    {
        std::lock_guard lock(mutex_);
        if (state_.windowValidationTask) state_.windowValidationTask->cancel();
        state_.windowValidationTask.reset();
        state_.trackedWindowId.reset();
        stream = state_.stream;
    }

    // The recording's own end: now, or the start of a pause that is still in effect.
    const MediaTime stopHostTime = platform_.hostClock->now();
    if (stream) {
        // An error while stopping changes nothing: the files are closed all the same.
        co_await common::awaitCompletion<std::optional<std::string>>(
            [&stream](auto done) { stream->stopCapture(std::move(done)); });
    }

    State s;
    {
        std::lock_guard lock(mutex_);
        state_.stream.reset();
        state_.isRecording = false;
        s = state_;
    }
    // From here the sample handler drops everything, so `s` is the final bookkeeping.

    const std::optional<MediaTime> recordingEnd = s.timeline.end(stopHostTime);
    const RecordingOutputs& outputs = s.outputs;
    MediaTime videoEnd = s.timeline.lastVideoPresentationTime;
    if (s.lastSampleBuffer) {
        // A screen that stops changing delivers no new complete frames, yet the
        // recording goes on: the last frame is held until the recording's own end, not
        // just for its own duration, so a still picture with narration is not cut short.
        const auto& last = *s.lastSampleBuffer;
        const MediaTime fallbackDuration = MediaTime::make(1, static_cast<std::int32_t>(targetCaptureFPS));
        const MediaTime frameEnd =
            s.timeline.lastVideoPresentationTime + s.timeline.frameDuration(last.duration(), fallbackDuration);
        videoEnd = recordingEnd && *recordingEnd > frameEnd ? *recordingEnd : frameEnd;
        if (outputs.videoInput) {
            if (const auto tail = last.copyWithTiming({last.duration(), videoEnd, last.decodeTimeStamp()})) {
                outputs.videoInput->append(*tail);
            }
        }
    }

    MediaTime audioEnd = MediaTime::invalid();
    if (s.lastInlineAudioPresentationTime.isValid()) {
        audioEnd = s.lastInlineAudioDuration.isValid() && s.lastInlineAudioDuration > MediaTime::zero()
                       ? s.lastInlineAudioPresentationTime + s.lastInlineAudioDuration
                       : s.lastInlineAudioPresentationTime;
    }
    MediaTime endTime = videoEnd;
    if (audioEnd.isValid() && audioEnd > videoEnd) {
        endTime = videoEnd + platform::minimum(audioEnd - videoEnd, maxInlineAudioTailExtension);
    }

    if (outputs.assetWriter) outputs.assetWriter->endSession(endTime);
    if (outputs.videoInput) outputs.videoInput->markAsFinished();
    if (outputs.inlineAudioInput) outputs.inlineAudioInput->markAsFinished();
    if (outputs.assetWriter) co_await finishWriter(outputs.assetWriter);
    const std::array<const AudioFile*, 2> audioFiles{&outputs.systemAudio, &outputs.microphoneOnly};
    for (const AudioFile* file : audioFiles) {
        if (file->input) file->input->markAsFinished();
        if (file->writer) co_await finishWriter(file->writer);
    }

    const std::string path = s.outputURL.value_or("");
    {
        std::lock_guard lock(mutex_);
        state_ = State{};
    }
    co_return path;
}

}  // namespace kelvane::recorder
