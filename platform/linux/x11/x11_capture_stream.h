#pragma once
// The capture stream on X11 with Pulse audio: screen frames of one display area or one
// window, paced on absolute monotonic deadlines, plus the default sink's monitor as
// system audio and a Pulse source as the microphone.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "platform/capture_stream.h"
#include "platform/linux/pulse/pulse_sample_source.h"
#include "platform/linux/pulse/pulse_server_watch.h"
#include "platform/linux/x11/capture_pacing.h"
#include "platform/linux/x11/x_image_grabber.h"

namespace kelvane::platform::x11 {

class X11CaptureStream final : public CaptureStream {
public:
    X11CaptureStream(CaptureSource source, StreamConfiguration configuration,
                     std::weak_ptr<CaptureStreamDelegate> delegate);
    ~X11CaptureStream() override;

    void addStreamOutput(std::weak_ptr<CaptureStreamOutput> output, StreamOutputType type,
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
    void runVideo(std::unique_ptr<XImageGrabber> grabber);
    // Sleeps until `deadline`; false when woken to stop.
    bool sleepUntil(PacingClock::time_point deadline) const;
    CaptureOutcome captureFrame(XImageGrabber& grabber, FrameFitter& fitter, bool changed);
    void deliver(StreamOutputType type, SampleBuffer buffer);
    void reportError(const std::string& description);
    void stopAll();

    CaptureSource source_;
    StreamConfiguration configuration_;
    std::weak_ptr<CaptureStreamDelegate> delegate_;
    std::map<StreamOutputType, Output> outputs_;
    std::shared_ptr<Delivery> delivery_ = std::make_shared<Delivery>();

    std::atomic<bool> videoRunning_{false};
    // Readable once the capture is to stop, so waits on the X connection end at once.
    int wakeFd_ = -1;
    bool firstFrameDelivered_ = false;
    std::int64_t startedNs_ = 0;
    std::int64_t lastCompleteNs_ = 0;
    std::thread videoThread_;

    std::unique_ptr<pulse::PulseSampleSource> systemAudio_;
    std::unique_ptr<pulse::PulseSampleSource> microphone_;
    std::unique_ptr<pulse::PulseServerWatch> serverWatch_;
};

}  // namespace kelvane::platform::x11
