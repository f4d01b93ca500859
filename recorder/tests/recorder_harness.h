#pragma once
// One recorder wired to fake platform objects, with helpers that run its tasks to
// completion, feed samples through the fake stream and wait for the sample strand.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <future>
#include <memory>
#include <string>
#include <unistd.h>
#include <thread>
#include <variant>

#include "recorder/capture_error.h"
#include "recorder/screen_capture_recorder.h"
#include "testing/fake_capture_stream.h"
#include "testing/fake_media_writer.h"
#include "testing/fake_recorder_platform_parts.h"

namespace kelvane::recorder::test {

using platform::FrameStatus;
using platform::MediaTime;
using platform::SampleBuffer;
using platform::StreamOutputType;

// Host-clock readings in the tests: `seconds` after an arbitrary boot offset, in ns.
inline constexpr double hostBase = 5000.0;
inline MediaTime host(double seconds) {
    return MediaTime::make(std::llround((hostBase + seconds) * 1e9), platform::hostClockTimescale);
}
inline MediaTime seconds(double s) { return MediaTime::make(std::llround(s * 1e9), platform::hostClockTimescale); }

inline SampleBuffer frame(double at, FrameStatus status = FrameStatus::complete,
                          MediaTime duration = MediaTime::make(1, 60)) {
    return SampleBuffer::video(platform::VideoFrame{2, 2, 8, std::vector<std::uint8_t>(16)},
                               {duration, host(at), MediaTime::invalid()},
                               platform::SampleAttachments{{{platform::frameStatusAttachmentKey,
                                                             static_cast<std::int64_t>(status)}}});
}
inline SampleBuffer audio(double at, double duration = 0.02) {
    return SampleBuffer::audio(platform::AudioPcm{48000, 2, std::vector<float>(2 * 960)},
                               {seconds(duration), host(at), MediaTime::invalid()});
}

// Sends the process's standard output and error to files while alive.
class CapturedOutput {
public:
    CapturedOutput() {
        std::fflush(stdout);
        for (int fd : {1, 2}) {
            char name[] = "/tmp/recorder-output-XXXXXX";
            files_[fd - 1] = mkstemp(name);
            unlink(name);
            saved_[fd - 1] = dup(fd);
            dup2(files_[fd - 1], fd);
        }
    }
    ~CapturedOutput() { restore(); }
    std::string out() { return contents(0); }
    std::string err() { return contents(1); }

private:
    void restore() {
        if (saved_[0] < 0) return;
        std::fflush(stdout);
        for (int i = 0; i < 2; ++i) {
            dup2(saved_[i], i + 1);
            close(saved_[i]);
            saved_[i] = -1;
        }
    }
    std::string contents(int index) {
        std::string text;
        char buffer[4096];
        for (off_t offset = 0;;) {
            const ssize_t n = pread(files_[index], buffer, sizeof buffer, offset);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
            offset += n;
        }
        return text;
    }
    int files_[2] = {-1, -1};
    int saved_[2] = {-1, -1};
};

struct StopOutcome {
    std::optional<std::string> path;
    std::optional<int> errorCode;
    std::string errorText;
};

class RecorderHarness {
    // First, so it is destroyed last: the fakes keep strands of it.
    asio::thread_pool pool_{2};

public:
    std::shared_ptr<testing::FakePermissions> permissions = std::make_shared<testing::FakePermissions>();
    std::shared_ptr<testing::FakeLiveShareableContent> content = std::make_shared<testing::FakeLiveShareableContent>();
    std::shared_ptr<testing::FakeDisplayModes> displays = std::make_shared<testing::FakeDisplayModes>();
    std::shared_ptr<testing::FakeCaptureStreams> streams = std::make_shared<testing::FakeCaptureStreams>();
    std::shared_ptr<testing::FakeAudioDevices> microphones = std::make_shared<testing::FakeAudioDevices>();
    std::shared_ptr<testing::FakeHostClock> clock = std::make_shared<testing::FakeHostClock>();
    std::shared_ptr<testing::FakeWriterFactory> writers = std::make_shared<testing::FakeWriterFactory>();
    bool assistantExists = true;
    bool assistantHasSettings = true;
    double wallClock = 1'700'000'000.75;
    std::atomic<int> exitStatus{-1};
    std::atomic<int> exitCalls{0};

    RecorderHarness() {
        platform::ShareableContentSnapshot snapshot;
        snapshot.displays.push_back(platform::ShareableDisplay{1, {0, 0, 1440, 900}, 2880, 1800});
        snapshot.mainDisplayID = 1;
        content->setAnswer(snapshot);
        displays->mainDisplay = 1;
        displays->bounds[1] = {0, 0, 1440, 900};
        displays->modes[1] = platform::DisplayMode{2880, 1800, 1440, 900};
        clock->set(host(0));
    }

    ~RecorderHarness() {
        // Nothing may still poll or wait when the pool is joined.
        if (recorder_ && recorder_->state().isRecording) stop();
        pool_.join();
    }

    RecorderPlatform platform() {
        RecorderPlatform p;
        p.permissions = permissions;
        p.shareableContent = content;
        p.displayModes = displays;
        p.captureStreams = streams;
        p.audioDevices = microphones;
        p.hostClock = clock;
        p.makeWriter = [w = writers](const std::string& path, platform::MediaFileType type) { return w->make(path, type); };
        using AssistantMade = platform::Result<std::unique_ptr<platform::OutputSettingsAssistant>>;
        p.makeSettingsAssistant = [this](platform::OutputSettingsPreset) -> AssistantMade {
            if (!assistantExists) return platform::Error{"No encoder"};
            return std::make_unique<testing::FakeSettingsAssistant>(assistantHasSettings);
        };
        p.secondsSince1970 = [this] { return wallClock; };
        p.currentDirectory = [] { return std::string("/home/user/Movies"); };
        p.exitProcess = [this](int status) {
            exitStatus = status;
            ++exitCalls;
        };
        p.windowPollInterval = std::chrono::milliseconds(20);
        return p;
    }

    ScreenCaptureRecorder& recorder() {
        if (!recorder_) recorder_ = std::make_shared<ScreenCaptureRecorder>(platform(), pool_.get_executor());
        return *recorder_;
    }

    // The failure of the start, or nothing when it succeeded.
    std::optional<CaptureError> startError(const std::string& json) {
        auto done = asio::co_spawn(pool_, recorder().start(json), asio::use_future);
        try {
            done.get();
            return std::nullopt;
        } catch (const CaptureError& error) {
            return error;
        }
    }
    // Starts and expects success.
    void start(const std::string& json = "{}") {
        auto done = asio::co_spawn(pool_, recorder().start(json), asio::use_future);
        ASSERT_NO_THROW(done.get());
    }
    std::future<void> startAsync(const std::string& json) {
        return asio::co_spawn(pool_, recorder().start(json), asio::use_future);
    }

    std::future<std::string> stopAsync() { return asio::co_spawn(pool_, recorder().stop(), asio::use_future); }
    StopOutcome stop() {
        StopOutcome outcome;
        try {
            outcome.path = stopAsync().get();
        } catch (const CaptureError& error) {
            outcome.errorCode = error.code();
            outcome.errorText = error.what();
        }
        return outcome;
    }

    std::shared_ptr<testing::FakeCaptureStream> stream() { return streams->last(); }

    // Delivers through the stream and waits until the recorder has handled it.
    void deliver(const SampleBuffer& buffer, StreamOutputType type = StreamOutputType::screen) {
        stream()->deliver(buffer, type);
        settle();
    }
    // Calls the output callback directly, as a stream delivering any output type would.
    void deliverDirect(const SampleBuffer& buffer, StreamOutputType type) {
        std::promise<void> done;
        asio::post(recorder().queue(), [&] {
            recorder().didOutputSampleBuffer(buffer, type);
            done.set_value();
        });
        done.get_future().wait();
    }
    void settle() {
        std::promise<void> done;
        asio::post(recorder().queue(), [&done] { done.set_value(); });
        done.get_future().wait();
    }

    std::shared_ptr<testing::FakeMediaWriter> mainWriter() {
        return writers->writer(recorder().state().outputURL.value_or("/home/user/Movies/output_1700000000.mp4"));
    }

    asio::thread_pool& pool() { return pool_; }

private:
    std::shared_ptr<ScreenCaptureRecorder> recorder_;
};

// Presentation times of the buffers, in seconds.
inline std::vector<double> times(const std::vector<SampleBuffer>& buffers) {
    std::vector<double> result;
    for (const auto& buffer : buffers) result.push_back(buffer.presentationTimeStamp().seconds());
    return result;
}

// Waits up to 10 s for `condition`, which another thread makes true.
template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace kelvane::recorder::test
