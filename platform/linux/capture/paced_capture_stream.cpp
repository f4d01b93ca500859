#include "platform/linux/capture/paced_capture_stream.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/host_clock.h"
#include "platform/linux/result_of.h"
#include "platform/linux/x11/poll_until.h"

namespace kelvane::platform::capture {
namespace {

using x11::pollUntil;

constexpr std::int32_t nanosecondTimescale = 1'000'000'000;
// An unchanged picture is still delivered complete now and then: often during the first
// second, while the consumer may still be getting ready and dropping what it gets, then
// once a second. Without this a screen that never changes would leave the recording with
// no picture, or none until the next change.
constexpr std::int64_t startUpNs = 1'000'000'000;
constexpr std::int64_t startUpRefreshNs = 100'000'000;
constexpr std::int64_t completeFrameRefreshNs = 1'000'000'000;

PacingClock::duration frameInterval(const MediaTime& interval) {
    const double seconds = interval.isValid() && interval.seconds() > 0 ? interval.seconds() : 1.0 / 60;
    return std::chrono::duration_cast<PacingClock::duration>(std::chrono::duration<double>(seconds));
}

SampleTiming screenTiming(std::int64_t capturedNs, const MediaTime& duration) {
    SampleTiming timing;
    timing.duration = duration;
    timing.presentationTimeStamp = MediaTime::make(capturedNs, nanosecondTimescale);
    return timing;
}

SampleAttachments screenAttachments(FrameStatus status) {
    return {{{frameStatusAttachmentKey, static_cast<std::int64_t>(status)}}};
}

}  // namespace

PacedCaptureStream::PacedCaptureStream(FrameSourceOpener openSource, StreamConfiguration configuration,
                                   std::weak_ptr<CaptureStreamDelegate> delegate)
    : openSource_(std::move(openSource)), configuration_(std::move(configuration)), delegate_(std::move(delegate)) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw CaptureStreamError("Cannot make the capture's wake-up channel");
}

PacedCaptureStream::~PacedCaptureStream() {
    stopAll();
    close(wakeFd_);
}

Result<std::unique_ptr<CaptureStream>> makePacedCaptureStream(FrameSourceOpener openSource,
                                                              StreamConfiguration configuration,
                                                              std::weak_ptr<CaptureStreamDelegate> delegate) {
    return resultOf<CaptureStreamError, std::unique_ptr<CaptureStream>>([&] {
        return std::make_unique<PacedCaptureStream>(std::move(openSource), std::move(configuration),
                                                    std::move(delegate));
    });
}

Result<void> PacedCaptureStream::addStreamOutput(std::weak_ptr<CaptureStreamOutput> output, StreamOutputType type,
                                                 SampleHandlerQueue queue) {
    if (!queue) return Error{"A stream output needs a queue to deliver its samples on"};
    outputs_[type] = Output{std::move(output), std::move(queue)};
    return {};
}

void PacedCaptureStream::startCapture(StreamCompletion completion) {
    if (videoThread_.joinable()) {
        completion(StreamError{"The capture is already running"});
        return;
    }
    std::unique_ptr<FrameSource> source;
    try {
        source = openSource_();
    } catch (const ScreenSharingDeclined& declined) {
        completion(StreamError{declined.what(), true});
        return;
    } catch (const std::exception& error) {
        completion(StreamError{error.what()});
        return;
    }
    {
        std::unique_lock gate(delivery_->gate);
        delivery_->open = true;
    }
    if (auto error = startAudio()) {
        stopAll();
        completion(StreamError{std::move(*error)});
        return;
    }
    std::uint64_t pending = 0;
    while (read(wakeFd_, &pending, sizeof pending) > 0) {
    }
    videoRunning_ = true;
    firstFrameDelivered_ = false;
    videoThread_ = std::thread(&PacedCaptureStream::runVideo, this, std::move(source));
    completion(StreamOutcome{});
}

std::optional<std::string> PacedCaptureStream::startAudio() {
    const bool wantsSystemAudio = configuration_.capturesAudio && outputs_.contains(StreamOutputType::audio);
    const bool wantsMicrophone = configuration_.capturesAudio && configuration_.captureMicrophone &&
                                 outputs_.contains(StreamOutputType::microphone);
    if (!wantsSystemAudio && !wantsMicrophone) return std::nullopt;

    serverWatch_ = std::make_unique<pulse::PulseServerWatch>();
    if (auto error = serverWatch_->watch([this](const std::string& description) {
            reportError("Lost the connection to the sound server: " + description);
        })) {
        return "Cannot reach the sound server: " + *error;
    }
    if (wantsSystemAudio) {
        systemAudio_ = std::make_unique<pulse::PulseSampleSource>(pulse::defaultMonitorSource);
        if (auto error = systemAudio_->start(
                [this](SampleBuffer buffer) { deliver(StreamOutputType::audio, std::move(buffer)); })) {
            return "Cannot capture system audio: " + *error;
        }
    }
    if (wantsMicrophone) {
        microphone_ = std::make_unique<pulse::PulseSampleSource>(configuration_.microphoneCaptureDeviceID.value_or(""));
        if (auto error = microphone_->start(
                [this](SampleBuffer buffer) { deliver(StreamOutputType::microphone, std::move(buffer)); })) {
            return "Cannot capture the microphone: " + *error;
        }
    }
    return std::nullopt;
}

void PacedCaptureStream::stopCapture(StreamCompletion completion) {
    stopAll();
    completion(StreamOutcome{});
}

void PacedCaptureStream::stopAll() {
    videoRunning_ = false;
    const std::uint64_t wake = 1;
    if (write(wakeFd_, &wake, sizeof wake) < 0) {
        // Only a full counter fails, and then the capture is woken already.
    }
    if (videoThread_.joinable()) videoThread_.join();
    if (systemAudio_) systemAudio_->stop();
    if (microphone_) microphone_->stop();
    serverWatch_.reset();
    std::unique_lock gate(delivery_->gate);
    delivery_->open = false;
}

void PacedCaptureStream::runVideo(std::unique_ptr<FrameSource> source) {
    x11::FrameFitter fitter(static_cast<int>(configuration_.width), static_cast<int>(configuration_.height));
    startedNs_ = monotonicNanoseconds();
    x11::CapturePacing pacing(frameInterval(configuration_.minimumFrameInterval), PacingClock::now());
    bool changePending = false;
    source->beginCapturing(wakeFd_);
    try {
        while (sleepUntil(pacing.notBefore())) {
            const bool changed = changePending || source->waitForChange(pacing.tickEnd(), wakeFd_);
            if (!videoRunning_) break;
            const auto began = PacingClock::now();
            const CaptureOutcome outcome = captureFrame(*source, fitter, changed);
            changePending = outcome == CaptureOutcome::deferred && changed;
            if (outcome == CaptureOutcome::idle) {
                pacing.ticked(began);
            } else {
                pacing.captured(began);
            }
        }
    } catch (const std::exception& error) {
        // The source's server is gone (or capture cannot go on): said once, and the stream
        // delivers no more frames. A wait that the stop cut short is no error.
        if (videoRunning_) reportError(error.what());
    }
}

bool PacedCaptureStream::sleepUntil(PacingClock::time_point deadline) const {
    for (;;) {
        if (!videoRunning_) return false;
        if (PacingClock::now() >= deadline) return true;
        pollfd wake{wakeFd_, POLLIN, 0};
        pollUntil(&wake, 1, deadline);
    }
}

PacedCaptureStream::CaptureOutcome PacedCaptureStream::captureFrame(FrameSource& source, x11::FrameFitter& fitter,
                                                                   bool changed) {
    // Every frame handed out is still with the consumer: skip this one rather than wait,
    // and keep the change for the next capture.
    if (delivery_->framesInFlight.load() >= std::max(configuration_.queueDepth, 1)) return CaptureOutcome::deferred;

    const std::int64_t capturedNs = monotonicNanoseconds();
    const std::int64_t refreshNs = capturedNs - startedNs_ < startUpNs ? startUpRefreshNs : completeFrameRefreshNs;
    const bool refresh = !firstFrameDelivered_ || capturedNs - lastCompleteNs_ >= refreshNs;
    if (!changed && !refresh) {
        // Nothing new to show: an idle frame carries no image.
        deliver(StreamOutputType::screen,
                SampleBuffer::video(VideoFrame{}, screenTiming(screenStamp(capturedNs), configuration_.minimumFrameInterval),
                                    screenAttachments(FrameStatus::idle)));
        return CaptureOutcome::idle;
    }
    const auto frame = source.grab(!changed);
    // A window that cannot be read now (unmapped, closed) gives no frame at all; the
    // recorder's window check decides whether the recording goes on.
    if (!frame) return CaptureOutcome::captured;
    // A picture read again unchanged is stamped now: its own time lies in the past, at or
    // before frames already delivered.
    const std::int64_t presentedNs = changed ? frame->presentedNs.value_or(capturedNs) : capturedNs;
    // The frame comes back to the fitter once the last consumer lets go of it.
    deliver(StreamOutputType::screen,
            SampleBuffer::video(fitter.fit(frame->image, frame->changed),
                                screenTiming(screenStamp(presentedNs), configuration_.minimumFrameInterval),
                                screenAttachments(FrameStatus::complete), fitter.recycler()));
    firstFrameDelivered_ = true;
    lastCompleteNs_ = capturedNs;
    return CaptureOutcome::captured;
}

std::int64_t PacedCaptureStream::screenStamp(std::int64_t ns) {
    // A source's own time (when the picture was shown) may lie before the idle tick
    // already delivered; frames keep their delivery order.
    lastScreenNs_ = std::max(ns, lastScreenNs_ + 1);
    return lastScreenNs_;
}

void PacedCaptureStream::deliver(StreamOutputType type, SampleBuffer buffer) {
    const auto output = outputs_.find(type);
    if (output == outputs_.end()) return;
    const bool isScreen = type == StreamOutputType::screen;
    if (isScreen) ++delivery_->framesInFlight;
    output->second.queue([delivery = delivery_, receiver = output->second.receiver, buffer = std::move(buffer), type,
                          isScreen] {
        {
            std::shared_lock gate(delivery->gate);
            if (delivery->open) {
                if (auto target = receiver.lock()) target->didOutputSampleBuffer(buffer, type);
            }
        }
        if (isScreen) --delivery->framesInFlight;
    });
}

void PacedCaptureStream::reportError(const std::string& description) {
    if (auto delegate = delegate_.lock()) delegate->didStopWithError(description);
}

}  // namespace kelvane::platform::capture
