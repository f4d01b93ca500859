#pragma once
// The command service: serialises start, pause, resume and stop onto one strand, runs
// start and stop as tasks launched from it, and counts the one pending outcome of the
// process (a failed start or a finished stop) in a group the main thread waits on.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "common/asio.h"
#include "common/dispatch_group.h"
#include "recorder/recorder_platform.h"
#include "recorder/screen_capture_recorder.h"

namespace kelvane::recorder {

class RecorderService {
public:
    RecorderService(RecorderPlatform platform, asio::any_io_executor executor);

    void start(std::string configJSON);
    void pause();
    void resume();
    // Nothing when a signal's stop came first.
    void stop();
    // A termination signal: the same as "stop", unless a stop was already submitted. One
    // that arrives while the start is still under way stops the recording once it runs.
    void stopOnSignal();
    void waitUntilFinished();
    // Whether the start failed because the user declined to let the screen be recorded.
    bool screenAccessDeclined() const { return screenAccessDeclined_.load(); }

    ScreenCaptureRecorder& recorder() { return *recorder_; }
    common::DispatchGroup& completionGroup() { return completionGroup_; }

private:
    void submitStop();

    std::shared_ptr<ScreenCaptureRecorder> recorder_;
    asio::strand<asio::any_io_executor> queue_;
    common::DispatchGroup completionGroup_;
    enum class StopSource { none, line, signal };
    std::atomic<StopSource> firstStop_{StopSource::none};
    std::atomic<bool> screenAccessDeclined_{false};
    std::mutex startMutex_;
    bool startPending_ = false;
    bool stopAfterStart_ = false;
};

}  // namespace kelvane::recorder
