#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>

#include "common/line_output.h"
#include "common/unicode_text.h"
#include "platform/shareable_content_query.h"
#include "recorder/capture_error.h"
#include "recorder/microphone_resolution.h"
#include "recorder/output_files.h"
#include "recorder/screen_capture_recorder.h"
#include "recorder/window_validation.h"

namespace kelvane::recorder {

using platform::MediaTime;

namespace {

// Whole pixels of `points` at `scale`, at least 2 (encoders need even, non-empty sizes
// and a NaN or absurd frame must not turn into undefined behaviour).
std::uint32_t pixelLength(double points, std::uint32_t scale) {
    const double pixels = std::floor(points * scale);
    if (!(pixels >= 2)) return 2;
    if (pixels >= static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(pixels);
}

// Frame rates above the largest 32-bit timescale cannot be expressed as a frame interval;
// they are clamped rather than refused so such a configuration still records.
std::int32_t captureFrameRate(const std::optional<std::int64_t>& fps) {
    const std::int64_t wanted = fps && *fps > targetCaptureFPS ? *fps : targetCaptureFPS;
    return static_cast<std::int32_t>(std::min<std::int64_t>(wanted, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

ScreenCaptureRecorder::ScreenCaptureRecorder(RecorderPlatform platform, asio::any_io_executor executor)
    : platform_(std::move(platform)), executor_(executor), queue_(asio::make_strand(executor)) {}

ScreenCaptureRecorder::~ScreenCaptureRecorder() = default;

ScreenCaptureRecorder::State ScreenCaptureRecorder::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::uint32_t ScreenCaptureRecorder::pixelScale(std::uint32_t displayID) const {
    const auto mode = platform_.displayModes->currentMode(displayID);
    if (!mode) return 1;
    const std::uint32_t pointWidth = mode->width < 2 ? 1 : mode->width;
    const std::uint32_t quotient = mode->pixelWidth / pointWidth;
    return quotient >= 2 ? quotient : 1;
}

asio::awaitable<void> ScreenCaptureRecorder::start(std::string configJSON) {
    {
        std::lock_guard lock(mutex_);
        // A session that is being finished still owns the writers, so it counts as running.
        if (state_.isRecording || state_.isFinishing) throw capture_errors::alreadyRecording();
    }
    // Bytes that are not UTF-8 are text that cannot be converted.
    if (!common::isValidUtf8(configJSON)) throw capture_errors::invalidJsonInput();
    const CaptureConfig config = decodeCaptureConfig(configJSON);

    const auto content = co_await platform::queryShareableContent(*platform_.shareableContent, false,
                                                                  !config.windowId.has_value());
    if (const auto* failure = std::get_if<platform::ShareableContentError>(&content)) {
        throw std::runtime_error(failure->localizedDescription);
    }
    const auto& snapshot = std::get<platform::ShareableContentSnapshot>(content);

    // Published over the current state at the end, also when the start fails: what was
    // already made stays with the recorder until the next start or the end of the process.
    State next = state();
    std::exception_ptr failure;
    try {
        co_await setUpSession(config, snapshot, next);
    } catch (...) {
        failure = std::current_exception();
    }
    {
        std::lock_guard lock(mutex_);
        state_ = next;
    }
    if (failure) std::rethrow_exception(failure);
    startWindowValidationIfNeeded();
    common::writeOutputLine("Recording started");
}

asio::awaitable<void> ScreenCaptureRecorder::setUpSession(const CaptureConfig& config,
                                                          const platform::ShareableContentSnapshot& snapshot,
                                                          State& next) {
    platform::StreamConfiguration streamConfiguration;
    const bool capturesSystemAudio = config.capturesSystemAudio.value_or(false);
    bool capturesMicrophone = config.capturesMicrophone.value_or(false);
    if (capturesMicrophone && !platform_.captureStreams->supportsMicrophoneCapture()) {
        common::writeErrorLine("MICROPHONE_CAPTURE_UNAVAILABLE");
        capturesMicrophone = false;
    }
    next.capturesSystemAudio = capturesSystemAudio;
    next.capturesMicrophone = capturesMicrophone;
    next.writesSystemAudioToSeparateTrack = capturesSystemAudio;
    next.writesMicrophoneToSeparateTrack = capturesMicrophone;
    streamConfiguration.minimumFrameInterval = MediaTime::make(1, captureFrameRate(config.fps));
    streamConfiguration.queueDepth = 6;
    streamConfiguration.pixelFormat = platform::pixelFormatBGRA;
    streamConfiguration.showsCursor = false;
    streamConfiguration.capturesAudio = capturesSystemAudio || capturesMicrophone;
    streamConfiguration.sampleRate = 48000;
    streamConfiguration.channelCount = 2;
    streamConfiguration.excludesCurrentProcessAudio = true;
    if (capturesMicrophone) {
        streamConfiguration.captureMicrophone = true;
        streamConfiguration.microphoneCaptureDeviceID =
            resolveMicrophoneCaptureDeviceID(config, platform_.audioDevices->audioInputDevices());
    }
    next.trackedWindowId = config.windowId;

    platform::ContentFilter filter;
    if (config.windowId) {
        const platform::ShareableWindow* window = platform::findWindow(snapshot, *config.windowId);
        if (!window) throw capture_errors::windowNotFound();
        filter = platform::WindowContentFilter{*window};
        const platform::Point centre{platform::midX(window->frame), platform::midY(window->frame)};
        const auto display = std::find_if(snapshot.displays.begin(), snapshot.displays.end(), [&](const auto& d) {
            return platform::intersects(d.frame, window->frame) || platform::contains(d.frame, centre);
        });
        const std::uint32_t displayID =
            display != snapshot.displays.end() ? display->displayID : platform_.displayModes->mainDisplayID();
        const std::uint32_t scale = pixelScale(displayID);
        streamConfiguration.ignoreShadowsSingleWindow = true;
        streamConfiguration.width = pixelLength(platform::width(window->frame), scale);
        streamConfiguration.height = pixelLength(platform::height(window->frame), scale);
    } else {
        const std::uint32_t wanted = config.displayId.value_or(platform_.displayModes->mainDisplayID());
        const auto display = std::find_if(snapshot.displays.begin(), snapshot.displays.end(),
                                          [&](const auto& d) { return d.displayID == wanted; });
        if (display == snapshot.displays.end()) throw capture_errors::displayNotFound();
        filter = platform::DisplayContentFilter{*display, {}, {}};
        const platform::Rect bounds = platform_.displayModes->displayBounds(display->displayID);
        const std::uint32_t scale = pixelScale(display->displayID);
        streamConfiguration.width = pixelLength(platform::width(bounds), scale);
        streamConfiguration.height = pixelLength(platform::height(bounds), scale);
    }

    setUpWriters(config, streamConfiguration.width, streamConfiguration.height, next);

    const std::shared_ptr<platform::CaptureStream> stream =
        platform_.captureStreams->makeStream(filter, streamConfiguration, weak_from_this());
    next.stream = stream;
    const platform::SampleHandlerQueue sampleQueue = [strand = queue_](std::function<void()> work) {
        asio::post(strand, std::move(work));
    };
    stream->addStreamOutput(weak_from_this(), platform::StreamOutputType::screen, sampleQueue);
    if (capturesSystemAudio) stream->addStreamOutput(weak_from_this(), platform::StreamOutputType::audio, sampleQueue);
    if (capturesMicrophone) {
        stream->addStreamOutput(weak_from_this(), platform::StreamOutputType::microphone, sampleQueue);
    }

    const auto captureError = co_await common::awaitCompletion<std::optional<std::string>>(
        [&stream](auto done) { stream->startCapture(std::move(done)); });
    if (captureError == platform::screenSharingDeclinedDescription) throw ScreenAccessDeclined();
    if (captureError) throw std::runtime_error(*captureError);

    beginWriting(*next.outputs.assetWriter, capture_errors::videoWriterDidNotStart);
    next.sessionStarted = true;
    next.isRecording = true;
    next.isPaused = false;
    next.timeline = RecordingTimeline{};
}

void ScreenCaptureRecorder::setUpWriters(const CaptureConfig& config, std::uint32_t width, std::uint32_t height,
                                         State& next) {
    const std::string currentDirectory = platform_.currentDirectory();
    const std::string path =
        mainOutputPath(config.outputPath.value_or(""), platform_.secondsSince1970(), currentDirectory);
    next.outputURL = path;
    RecordingOutputs& outputs = next.outputs;
    outputs.assetWriter = platform_.makeWriter(path, mainFileType(path));
    next.microphoneOutputURL.reset();
    next.firstSystemAudioSampleTime.reset();
    next.firstMicrophoneSampleTime.reset();

    const auto assistant = platform_.makeSettingsAssistant(platform::OutputSettingsPreset::preset3840x2160);
    if (!assistant) throw capture_errors::noSettingsAssistant();
    const int pixelWidth = static_cast<int>(std::min<std::uint32_t>(width, std::numeric_limits<int>::max()));
    const int pixelHeight = static_cast<int>(std::min<std::uint32_t>(height, std::numeric_limits<int>::max()));
    assistant->setSourceVideoFormat(
        platform::makeVideoFormatDescription(platform::VideoCodec::h264, pixelWidth, pixelHeight));
    auto videoSettings = assistant->videoSettings();
    if (!videoSettings) throw capture_errors::noOutputSettings();
    videoSettings->width = pixelWidth;
    videoSettings->height = pixelHeight;

    platform::MediaWriter& writer = *outputs.assetWriter;
    const auto videoInput = writer.makeInput(*videoSettings, true);
    if (!writer.canAdd(*videoInput)) throw capture_errors::cannotAddVideoInput();
    writer.add(videoInput);
    outputs.videoInput = videoInput;

    if (next.capturesSystemAudio || next.capturesMicrophone) {
        const auto inlineInput = writer.makeInput(audioOutputSettings(inlineAudioBitRate), true);
        if (writer.canAdd(*inlineInput)) {
            writer.add(inlineInput);
            outputs.inlineAudioInput = inlineInput;
        }
    }

    if (next.writesSystemAudioToSeparateTrack) {
        openAudioFile(outputs.systemAudio, absolutePath(config.systemAudioOutputPath.value_or(""), currentDirectory),
                      systemAudioFileKind, platform_.makeWriter);
    }
    if (next.writesMicrophoneToSeparateTrack) {
        const std::string microphonePath = absolutePath(config.microphoneOutputPath.value_or(""), currentDirectory);
        if (!microphonePath.empty()) next.microphoneOutputURL = microphonePath;
        openAudioFile(outputs.microphoneOnly, microphonePath, microphoneFileKind, platform_.makeWriter);
    }
}

}  // namespace kelvane::recorder
