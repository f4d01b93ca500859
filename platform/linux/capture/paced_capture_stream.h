#pragma once
// A capture stream of screen frames from a frame source, paced on absolute monotonic
// deadlines, plus Pulse audio: the default sink's monitor as system audio and a Pulse
// source as the microphone.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "platform/capture_stream.h"
#include "platform/linux/capture/capture_stream_error.h"
#include "platform/linux/pulse/pulse_sample_source.h"
#include "platform/linux/pulse/pulse_server_watch.h"
#include "platform/linux/capture/frame_source.h"
#include "platform/linux/x11/capture_pacing.h"

namespace kelvane::platform::capture {

using x11::PacingClock;

// Opens the frame source when the capture starts; throws with a description of why it
// cannot (CaptureStreamError, or any exception).
using FrameSourceOpener = std::function<std::unique_ptr<FrameSource>()>;

class PacedCaptureStream final : public CaptureStream {
public:
    PacedCaptureStream(FrameSourceOpener openSource, StreamConfiguration configuration,
                       std::weak_ptr<CaptureStreamDelegate> delegate);
    ~PacedCaptureStream() override;

    Result<void> addStreamOutput(std::weak_ptr<CaptureStreamOutput> output, StreamOutputType type,
                                 SampleHandlerQueue queue) override;
    void startCapture(StreamCompletion completion) override;
    void stopCapture(StreamCompletion completion) override;

private:
    struct Output {
        std::weak_ptr<CaptureStreamOutput> receiver;
        SampleHandlerQueue queue;
    };
    // Shared with work already handed to the consumers' queues, which may outlive the stream.
    struct Delivery {
        // Held shared while a sample is handed over, exclusively to stop delivering.
        std::shared_mutex gate;
        bool open = false;
        std::atomic<int> framesInFlight{0};
    };

    enum class CaptureOutcome { captured, idle, deferred };

    std::optional<std::string> startAudio();
    void runVideo(std::unique_ptr<FrameSource> source);
    // Sleeps until `deadline`; false when woken to stop.
    bool sleepUntil(PacingClock::time_point deadline) const;
    CaptureOutcome captureFrame(FrameSource& source, x11::FrameFitter& fitter, bool changed);
    // The time stamp of the next screen frame, at `ns` or just after the previous one.
    std::int64_t screenStamp(std::int64_t ns);
    void deliver(StreamOutputType type, SampleBuffer buffer);
    void reportError(const std::string& description);
    void stopAll();

    FrameSourceOpener openSource_;
    StreamConfiguration configuration_;
    std::weak_ptr<CaptureStreamDelegate> delegate_;
    std::map<StreamOutputType, Output> outputs_;
    std::shared_ptr<Delivery> delivery_ = std::make_shared<Delivery>();

    std::atomic<bool> videoRunning_{false};
    // Readable once the capture is to stop, so waits on the frame source end at once.
    int wakeFd_ = -1;
    bool firstFrameDelivered_ = false;
    std::int64_t startedNs_ = 0;
    std::int64_t lastCompleteNs_ = 0;
    std::int64_t lastScreenNs_ = 0;
    std::thread videoThread_;

    std::unique_ptr<pulse::PulseSampleSource> systemAudio_;
    std::unique_ptr<pulse::PulseSampleSource> microphone_;
    std::unique_ptr<pulse::PulseServerWatch> serverWatch_;
};

// A paced stream, or why it cannot be made.
Result<std::unique_ptr<CaptureStream>> makePacedCaptureStream(FrameSourceOpener openSource,
                                                              StreamConfiguration configuration,
                                                              std::weak_ptr<CaptureStreamDelegate> delegate);

}  // namespace kelvane::platform::capture
