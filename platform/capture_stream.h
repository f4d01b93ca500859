#pragma once
// A running capture of one display or one window: screen frames, system audio and
// microphone audio delivered as sample buffers, each output type onto the serial queue
// its consumer names. Start and stop complete through callbacks that may run on any
// thread; the recorder awaits them.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/media_time.h"
#include "platform/result.h"
#include "platform/sample_buffer.h"
#include "platform/shareable_content.h"

namespace kelvane::platform {

enum class StreamOutputType : std::int64_t { screen = 0, audio = 1, microphone = 2 };

// Four-character code 'BGRA'.
inline constexpr std::uint32_t pixelFormatBGRA = 0x42475241;

struct StreamConfiguration {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    MediaTime minimumFrameInterval = MediaTime::invalid();
    int queueDepth = 8;
    std::uint32_t pixelFormat = pixelFormatBGRA;
    bool showsCursor = true;
    bool capturesAudio = false;
    int sampleRate = 48000;
    int channelCount = 2;
    bool excludesCurrentProcessAudio = false;
    bool ignoreShadowsSingleWindow = false;
    // Only honoured where supportsMicrophoneCapture() is true.
    bool captureMicrophone = false;
    std::optional<std::string> microphoneCaptureDeviceID;
};

// What is captured: one window on its own, or a display minus some applications' windows.
struct WindowContentFilter {
    ShareableWindow window;
};
struct DisplayContentFilter {
    ShareableDisplay display;
    std::vector<RunningApplication> excludingApplications;
    std::vector<ShareableWindow> exceptingWindows;
};
using ContentFilter = std::variant<WindowContentFilter, DisplayContentFilter>;

// Receives samples on the queue it was registered with, one at a time, in delivery order.
class CaptureStreamOutput {
public:
    virtual ~CaptureStreamOutput() = default;
    virtual void didOutputSampleBuffer(const SampleBuffer& buffer, StreamOutputType type) = 0;
};

class CaptureStreamDelegate {
public:
    virtual ~CaptureStreamDelegate() = default;
    // The stream stopped on its own because of an error.
    virtual void didStopWithError(const std::string& localizedDescription) = 0;
};

// A serial queue: runs the submitted work later, one item at a time, in submission order.
using SampleHandlerQueue = std::function<void(std::function<void()>)>;

// Why a stream did not start or stop: the description reported unchanged, and whether
// the user declined to let the screen be recorded (closed the system's screen chooser),
// which the recorder treats as having no screen access.
struct StreamError {
    std::string message;
    bool screenSharingDeclined = false;
};

// The description a start declined by the user completes with.
inline constexpr const char* screenSharingDeclinedDescription = "The user declined to share the screen";

using StreamOutcome = Result<void, StreamError>;
using StreamCompletion = std::function<void(StreamOutcome)>;

class CaptureStream {
public:
    virtual ~CaptureStream() = default;
    // An error when the output cannot be added. The stream keeps only a weak reference to
    // the output.
    virtual Result<void> addStreamOutput(std::weak_ptr<CaptureStreamOutput> output, StreamOutputType type,
                                         SampleHandlerQueue queue) = 0;
    virtual void startCapture(StreamCompletion completion) = 0;
    // After the completion has run no more samples are delivered.
    virtual void stopCapture(StreamCompletion completion) = 0;
};

// Creates streams; keeps only a weak reference to the delegate.
class CaptureStreams {
public:
    virtual ~CaptureStreams() = default;
    // Whether a stream configuration here can capture a microphone at all.
    virtual bool supportsMicrophoneCapture() const = 0;
    virtual Result<std::unique_ptr<CaptureStream>> makeStream(const ContentFilter& filter,
                                                              const StreamConfiguration& configuration,
                                                              std::weak_ptr<CaptureStreamDelegate> delegate) = 0;
};

std::unique_ptr<CaptureStreams> makeCaptureStreams();

}  // namespace kelvane::platform
