// The platform of the recorder's test build: the same main as the shipped program, but
// a display and window that always exist, a stream that delivers a changing frame every
// 1/60 s and 20 ms audio buffers on the real host clock, and writers that log what they
// are given into the output file as text lines ("video <seconds>", "audio <seconds>",
// "end <seconds>", "finished"), so a test can read the timeline back.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "recorder/recorder_platform.h"
#include "testing/fake_media_writer.h"
#include "testing/fake_recorder_platform_parts.h"

namespace kelvane::recorder {
namespace {

using namespace kelvane::platform;

class LiveStream final : public CaptureStream {
public:
    ~LiveStream() override { halt(); }

    Result<void> addStreamOutput(std::weak_ptr<CaptureStreamOutput> output, StreamOutputType type,
                                 SampleHandlerQueue queue) override {
        outputs_.push_back({std::move(output), type, std::move(queue)});
        return {};
    }
    void startCapture(StreamCompletion completion) override {
        running_ = true;
        producer_ = std::thread([this] { produce(); });
        completion(StreamOutcome{});
    }
    void stopCapture(StreamCompletion completion) override {
        halt();
        completion(StreamOutcome{});
    }

private:
    struct Output {
        std::weak_ptr<CaptureStreamOutput> output;
        StreamOutputType type;
        SampleHandlerQueue queue;
    };

    void halt() {
        running_ = false;
        if (producer_.joinable()) producer_.join();
    }

    void produce() {
        const auto interval = std::chrono::microseconds(16667);
        auto next = std::chrono::steady_clock::now();
        for (int tick = 0; running_; ++tick) {
            const MediaTime now = monotonicHostTime();
            for (const auto& output : outputs_) {
                SampleBuffer buffer;
                if (output.type == StreamOutputType::screen) {
                    buffer = SampleBuffer::video(
                        VideoFrame{2, 2, 8, std::vector<std::uint8_t>(16, static_cast<std::uint8_t>(tick))},
                        {MediaTime::make(1, 60), now, MediaTime::invalid()},
                        SampleAttachments{{{frameStatusAttachmentKey, std::int64_t{0}}}});
                } else {
                    buffer = SampleBuffer::audio(AudioPcm{48000, 2, std::vector<float>(2 * 800)},
                                                 {MediaTime::make(800, 48000), now, MediaTime::invalid()});
                }
                output.queue([weak = output.output, buffer, type = output.type] {
                    if (const auto target = weak.lock()) target->didOutputSampleBuffer(buffer, type);
                });
            }
            next += interval;
            std::this_thread::sleep_until(next);
        }
    }

    std::vector<Output> outputs_;
    std::atomic<bool> running_{false};
    std::thread producer_;
};

class LiveStreams final : public CaptureStreams {
public:
    bool supportsMicrophoneCapture() const override { return true; }
    Result<std::unique_ptr<CaptureStream>> makeStream(const ContentFilter&, const StreamConfiguration&,
                                                      std::weak_ptr<CaptureStreamDelegate>) override {
        return std::make_unique<LiveStream>();
    }
};

class LoggingInput final : public MediaWriterInput {
public:
    LoggingInput(MediaType type, std::shared_ptr<std::FILE> file, std::shared_ptr<std::mutex> mutex)
        : type_(type), file_(std::move(file)), mutex_(std::move(mutex)) {}
    MediaType mediaType() const override { return type_; }
    bool isReadyForMoreMediaData() const override { return true; }
    bool append(const SampleBuffer& buffer) override {
        std::lock_guard lock(*mutex_);
        std::fprintf(file_.get(), "%s %.9f\n", type_ == MediaType::video ? "video" : "audio",
                     buffer.presentationTimeStamp().seconds());
        return true;
    }
    void markAsFinished() override {}

private:
    MediaType type_;
    std::shared_ptr<std::FILE> file_;
    std::shared_ptr<std::mutex> mutex_;
};

class LoggingWriter final : public MediaWriter {
public:
    LoggingWriter(std::string path, MediaFileType type, std::FILE* file)
        : path_(std::move(path)), type_(type), file_(file, [](std::FILE* f) { std::fclose(f); }) {}

    static Result<std::unique_ptr<MediaWriter>> make(const std::string& path, MediaFileType type) {
        std::FILE* file = std::fopen(path.c_str(), "wx");
        if (!file) return Error{"Cannot create " + path};
        return std::make_unique<LoggingWriter>(path, type, file);
    }
    const std::string& path() const override { return path_; }
    MediaFileType fileType() const override { return type_; }
    std::shared_ptr<MediaWriterInput> makeInput(const OutputSettings& settings, bool) override {
        const MediaType type = std::holds_alternative<VideoOutputSettings>(settings) ? MediaType::video : MediaType::audio;
        return std::make_shared<LoggingInput>(type, file_, mutex_);
    }
    bool canAdd(const MediaWriterInput&) const override { return true; }
    void add(std::shared_ptr<MediaWriterInput>) override {}
    Result<void> startWriting() override { return {}; }
    void startSession(MediaTime) override {}
    void endSession(MediaTime time) override {
        std::lock_guard lock(*mutex_);
        std::fprintf(file_.get(), "end %.9f\n", time.seconds());
    }
    void finishWriting(std::function<void(Result<void>)> completion) override {
        // A file named "never-finishes..." stands for a disk that stalls: it is never finished.
        if (std::filesystem::path(path_).filename().string().starts_with("never-finishes")) return;
        {
            std::lock_guard lock(*mutex_);
            std::fprintf(file_.get(), "finished\n");
            std::fflush(file_.get());
        }
        completion(Result<void>{});
    }
    MediaWriterStatus status() const override { return MediaWriterStatus::writing; }

private:
    std::string path_;
    MediaFileType type_;
    std::shared_ptr<std::FILE> file_;
    std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
};

}  // namespace

RecorderPlatform makeRecorderPlatform() {
    RecorderPlatform p;
    p.permissions = std::make_shared<testing::FakePermissions>();
    auto content = std::make_shared<testing::FakeLiveShareableContent>();
    ShareableContentSnapshot snapshot;
    snapshot.displays.push_back(ShareableDisplay{1, {0, 0, 1280, 720}, 1280, 720});
    snapshot.mainDisplayID = 1;
    ShareableWindow window;
    window.windowID = 77;
    window.frame = {100, 100, 640, 480};
    snapshot.windows.push_back(window);
    content->setAnswer(snapshot);
    p.shareableContent = content;
    auto displays = std::make_shared<testing::FakeDisplayModes>();
    displays->bounds[1] = {0, 0, 1280, 720};
    displays->modes[1] = DisplayMode{1280, 720, 1280, 720};
    p.displayModes = displays;
    p.captureStreams = std::make_shared<LiveStreams>();
    p.audioDevices = std::make_shared<testing::FakeAudioDevices>();
    p.hostClock = makeHostClock();
    p.makeWriter = LoggingWriter::make;
    p.makeSettingsAssistant = [](OutputSettingsPreset) -> Result<std::unique_ptr<OutputSettingsAssistant>> {
        return std::make_unique<testing::FakeSettingsAssistant>(true);
    };
    p.secondsSince1970 = [] {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    p.currentDirectory = [] { return std::filesystem::current_path().string(); };
    p.exitProcess = [](int status) { std::_Exit(status); };
    return p;
}

}  // namespace kelvane::recorder
