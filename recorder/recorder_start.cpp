#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "common/line_output.h"
#include "common/unicode_text.h"
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

    const auto content = co_await awaitCompletion<platform::ShareableContentResult>(
        [this, onScreenOnly = !config.windowId.has_value()](auto done) {
            platform_.shareableContent->getShareableContent(false, onScreenOnly, std::move(done));
        });
    if (const auto* failure = std::get_if<platform::ShareableContentError>(&content)) {
        throw std::runtime_error(failure->localizedDescription);
    }
    const auto& snapshot = std::get<platform::ShareableContentSnapshot>(content);

    platform::StreamConfiguration streamConfiguration;
    bool capturesSystemAudio = config.capturesSystemAudio.value_or(false);
    bool capturesMicrophone = config.capturesMicrophone.value_or(false);
    if (capturesMicrophone && !platform_.captureStreams->supportsMicrophoneCapture()) {
        common::writeErrorLine("MICROPHONE_CAPTURE_UNAVAILABLE");
        capturesMicrophone = false;
    }
    {
        std::lock_guard lock(mutex_);
        state_.capturesSystemAudio = capturesSystemAudio;
        state_.capturesMicrophone = capturesMicrophone;
        state_.writesSystemAudioToSeparateTrack = capturesSystemAudio;
        state_.writesMicrophoneToSeparateTrack = capturesMicrophone;
    }
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

    {
        std::lock_guard lock(mutex_);
        state_.trackedWindowId = config.windowId;
    }

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

    setUpWriters(config, streamConfiguration.width, streamConfiguration.height);

    std::shared_ptr<platform::CaptureStream> stream =
        platform_.captureStreams->makeStream(filter, streamConfiguration, weak_from_this());
    {
        std::lock_guard lock(mutex_);
        state_.stream = stream;
    }
    const platform::SampleHandlerQueue sampleQueue = [strand = queue_](std::function<void()> work) {
        asio::post(strand, std::move(work));
    };
    stream->addStreamOutput(weak_from_this(), platform::StreamOutputType::screen, sampleQueue);
    if (capturesSystemAudio) stream->addStreamOutput(weak_from_this(), platform::StreamOutputType::audio, sampleQueue);
    if (capturesMicrophone) {
        stream->addStreamOutput(weak_from_this(), platform::StreamOutputType::microphone, sampleQueue);
    }

    const auto captureError = co_await awaitCompletion<std::optional<std::string>>(
        [&stream](auto done) { stream->startCapture(std::move(done)); });
    if (captureError == platform::screenSharingDeclinedDescription) throw ScreenAccessDeclined();
    if (captureError) throw std::runtime_error(*captureError);

    WriterPtr assetWriter;
    {
        std::lock_guard lock(mutex_);
        assetWriter = state_.assetWriter;
    }
    if (!assetWriter->startWriting()) {
        throw capture_errors::writerDidNotStart(8, assetWriter->error().value_or(""), "Unable to start video writing");
    }
    assetWriter->startSession(MediaTime::zero());
    {
        std::lock_guard lock(mutex_);
        state_.sessionStarted = true;
        state_.isRecording = true;
        state_.isPaused = false;
        state_.pauseStartedHostTime.reset();
        state_.pendingResumeAdjustment = false;
        state_.accumulatedPausedDuration = MediaTime::zero();
        state_.frameCount = 0;
        state_.firstSampleTime = MediaTime::zero();
        state_.lastVideoPresentationTime = MediaTime::zero();
        state_.lastVideoDuration = MediaTime::zero();
    }
    startWindowValidationIfNeeded();
    common::writeOutputLine("Recording started");
}

void ScreenCaptureRecorder::setUpWriters(const CaptureConfig& config, std::uint32_t width, std::uint32_t height) {
    const std::string currentDirectory = platform_.currentDirectory();
    const std::string path =
        mainOutputPath(config.outputPath.value_or(""), platform_.secondsSince1970(), currentDirectory);
    bool inlineAudioWanted;
    bool separateSystemAudio;
    bool separateMicrophone;
    {
        std::lock_guard lock(mutex_);
        state_.outputURL = path;
        inlineAudioWanted = state_.capturesSystemAudio || state_.capturesMicrophone;
        separateSystemAudio = state_.writesSystemAudioToSeparateTrack;
        separateMicrophone = state_.writesMicrophoneToSeparateTrack;
    }
    WriterPtr writer = platform_.makeWriter(path, mainFileType(path));
    {
        std::lock_guard lock(mutex_);
        state_.assetWriter = writer;
        state_.microphoneOutputURL.reset();
        state_.firstSystemAudioSampleTime.reset();
        state_.firstMicrophoneSampleTime.reset();
    }

    const auto assistant = platform_.makeSettingsAssistant(platform::OutputSettingsPreset::preset3840x2160);
    if (!assistant) throw capture_errors::noSettingsAssistant();
    assistant->setSourceVideoFormat(platform::makeVideoFormatDescription(
        platform::VideoCodec::h264, static_cast<int>(std::min<std::uint32_t>(width, std::numeric_limits<int>::max())),
        static_cast<int>(std::min<std::uint32_t>(height, std::numeric_limits<int>::max()))));
    auto videoSettings = assistant->videoSettings();
    if (!videoSettings) throw capture_errors::noOutputSettings();
    videoSettings->width = static_cast<int>(std::min<std::uint32_t>(width, std::numeric_limits<int>::max()));
    videoSettings->height = static_cast<int>(std::min<std::uint32_t>(height, std::numeric_limits<int>::max()));

    const InputPtr videoInput = writer->makeInput(*videoSettings, true);
    if (!writer->canAdd(*videoInput)) throw capture_errors::cannotAddVideoInput();
    writer->add(videoInput);
    {
        std::lock_guard lock(mutex_);
        state_.videoInput = videoInput;
    }

    if (inlineAudioWanted) {
        const InputPtr inlineInput = writer->makeInput(audioOutputSettings(inlineAudioBitRate), true);
        if (writer->canAdd(*inlineInput)) {
            writer->add(inlineInput);
            std::lock_guard lock(mutex_);
            state_.inlineAudioInput = inlineInput;
        }
    }

    if (separateSystemAudio) {
        const std::string audioPath = absolutePath(config.systemAudioOutputPath.value_or(""), currentDirectory);
        if (audioPath.empty()) throw capture_errors::missingSystemAudioPath();
        WriterPtr audioWriter = platform_.makeWriter(audioPath, platform::MediaFileType::appleM4A);
        const InputPtr input = audioWriter->makeInput(audioOutputSettings(systemAudioBitRate), true);
        if (!audioWriter->canAdd(*input)) throw capture_errors::cannotAddSystemAudioInput();
        audioWriter->add(input);
        {
            std::lock_guard lock(mutex_);
            state_.systemAudioWriter = audioWriter;
            state_.systemAudioInput = input;
        }
        if (!audioWriter->startWriting()) {
            throw capture_errors::writerDidNotStart(13, audioWriter->error().value_or(""),
                                                    "Unable to start system audio writing");
        }
        audioWriter->startSession(MediaTime::zero());
    }

    if (separateMicrophone) {
        const std::string microphonePath = absolutePath(config.microphoneOutputPath.value_or(""), currentDirectory);
        if (microphonePath.empty()) throw capture_errors::missingMicrophonePath();
        {
            std::lock_guard lock(mutex_);
            state_.microphoneOutputURL = microphonePath;
        }
        WriterPtr microphoneWriter = platform_.makeWriter(microphonePath, platform::MediaFileType::appleM4A);
        const InputPtr input = microphoneWriter->makeInput(audioOutputSettings(microphoneAudioBitRate), true);
        if (!microphoneWriter->canAdd(*input)) throw capture_errors::cannotAddMicrophoneInput();
        microphoneWriter->add(input);
        {
            std::lock_guard lock(mutex_);
            state_.microphoneOnlyWriter = microphoneWriter;
            state_.microphoneOnlyInput = input;
        }
        if (!microphoneWriter->startWriting()) {
            throw capture_errors::writerDidNotStart(16, microphoneWriter->error().value_or(""),
                                                    "Unable to start microphone audio writing");
        }
        microphoneWriter->startSession(MediaTime::zero());
    }
}

}  // namespace kelvane::recorder
