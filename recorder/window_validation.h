#pragma once
// Watches the recorded window while a window recording runs: twice a second it asks
// whether the window still exists (minimised, off-screen and withdrawn windows count),
// and when it has gone it finishes the recording, reports the file and ends the process.
#include <atomic>
#include <cstdint>
#include <memory>

#include "common/asio.h"

namespace kelvane::recorder {

class ScreenCaptureRecorder;

class WindowValidationTask : public std::enable_shared_from_this<WindowValidationTask> {
public:
    WindowValidationTask(asio::any_io_executor executor, std::weak_ptr<ScreenCaptureRecorder> recorder,
                         std::uint32_t windowId);

    void launch();
    // Ends the task at its next check; an ongoing sleep ends at once.
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }

private:
    asio::awaitable<void> run();

    asio::strand<asio::any_io_executor> strand_;
    asio::steady_timer timer_;
    std::weak_ptr<ScreenCaptureRecorder> recorder_;
    std::uint32_t windowId_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace kelvane::recorder
