#pragma once
// The one recording session of the process: the capture stream, the writers and their
// inputs, what is captured and where each kind of audio goes, and the timing state from
// which the recording's timeline is built.
//
// Thread safety: samples arrive on `queue` (a strand), pause and resume on the command
// strand, finishing and window validation in their own tasks. Every field below is
// guarded by one mutex that is held for the whole handling of one sample and for each
// pause, resume and finishing step, so each of them sees and leaves the pause fields in
// one consistent state. A start builds the new session in a value of its own and publishes
// it in one step, so nothing sees it half made. The mutex is never held across an await,
// and nothing done under it blocks (writer appends never block).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/asio.h"
#include "platform/capture_stream.h"
#include "platform/media_time.h"
#include "platform/media_writer.h"
#include "platform/sample_buffer.h"
#include "recorder/capture_config.h"
#include "common/one_shot_event.h"
#include "recorder/recorder_platform.h"
#include "recorder/recording_outputs.h"
#include "recorder/recording_timeline.h"

namespace kelvane::recorder {

inline constexpr std::int64_t targetCaptureFPS = 60;
inline const platform::MediaTime maxInlineAudioTailExtension = platform::MediaTime::make(1200, 600);

class WindowValidationTask;

class ScreenCaptureRecorder final : public platform::CaptureStreamOutput,
                                    public platform::CaptureStreamDelegate,
                                    public std::enable_shared_from_this<ScreenCaptureRecorder> {
public:
    using MediaTime = platform::MediaTime;
    using WriterPtr = std::shared_ptr<platform::MediaWriter>;
    using InputPtr = std::shared_ptr<platform::MediaWriterInput>;

    // The session fields with their initial values.
    struct State {
        RecordingOutputs outputs;
        std::shared_ptr<platform::CaptureStream> stream;
        RecordingTimeline timeline;
        std::optional<MediaTime> firstSystemAudioSampleTime;
        std::optional<MediaTime> firstMicrophoneSampleTime;
        std::optional<platform::SampleBuffer> lastSampleBuffer;
        MediaTime lastInlineAudioPresentationTime = MediaTime::invalid();
        MediaTime lastInlineAudioDuration = MediaTime::zero();
        bool isRecording = false;
        bool isPaused = false;
        bool sessionStarted = false;
        std::optional<std::string> outputURL;
        std::optional<std::string> microphoneOutputURL;
        std::optional<std::uint32_t> trackedWindowId;
        std::shared_ptr<WindowValidationTask> windowValidationTask;
        InputPtr inlineAudioInput;
        std::optional<MediaTime> firstInlineAudioSampleTime;
        bool capturesSystemAudio = false;
        bool capturesMicrophone = false;
        bool writesSystemAudioToSeparateTrack = false;
        bool writesMicrophoneToSeparateTrack = false;
        // A finish has claimed the session; no second finish or start may begin.
        bool isFinishing = false;
    };

    static constexpr std::int64_t microphoneOutputTypeRawValue = 2;

    // `executor` runs the sample strand, the tasks and window validation.
    ScreenCaptureRecorder(RecorderPlatform platform, asio::any_io_executor executor);
    ~ScreenCaptureRecorder() override;

    // Throws CaptureError, CaptureConfigError or the platform's own errors.
    asio::awaitable<void> start(std::string configJSON);
    void pause();
    void resume();
    // The main movie file's path; throws CaptureError code 9 when nothing is recording.
    asio::awaitable<std::string> stop();

    void didOutputSampleBuffer(const platform::SampleBuffer& buffer, platform::StreamOutputType type) override;
    void didStopWithError(const std::string& localizedDescription) override;

    // A copy of the fields, for inspection.
    State state() const;
    asio::strand<asio::any_io_executor>& queue() { return queue_; }

private:
    friend class WindowValidationTask;

    // Both fill `next` as they go, so a failure leaves in it what was already made.
    asio::awaitable<void> setUpSession(const CaptureConfig& config, const platform::ShareableContentSnapshot& snapshot,
                                       State& next);
    void setUpWriters(const CaptureConfig& config, std::uint32_t width, std::uint32_t height, State& next);
    void retimedAppend(const InputPtr& input, const platform::SampleBuffer& buffer, const MediaTime& time,
                       std::optional<MediaTime>& firstTime, bool isInlineAudio);
    void handleScreenFrame(const platform::SampleBuffer& buffer, const MediaTime& time);
    std::uint32_t pixelScale(std::uint32_t displayID) const;

    // Claims the session for one finish and returns the event its caller fires once the
    // finish has been reported; nothing when nothing is recording or a finish already runs.
    std::shared_ptr<common::OneShotEvent> claimFinish();
    asio::awaitable<std::string> finish();
    asio::awaitable<void> finishWriter(const WriterPtr& writer);
    void startWindowValidationIfNeeded();
    bool isRecordingNow() const;

    RecorderPlatform platform_;
    asio::any_io_executor executor_;
    asio::strand<asio::any_io_executor> queue_;
    mutable std::mutex mutex_;
    State state_;
    // Fired when the running finish has been reported, so a stop that arrives meanwhile
    // can wait for it instead of letting the process end under it.
    std::shared_ptr<common::OneShotEvent> finishReported_;
};

}  // namespace kelvane::recorder
