#include "recorder/window_validation.h"

#include "common/line_output.h"
#include "platform/shareable_content_query.h"
#include "recorder/screen_capture_recorder.h"

namespace kelvane::recorder {

WindowValidationTask::WindowValidationTask(asio::any_io_executor executor,
                                           std::weak_ptr<ScreenCaptureRecorder> recorder, std::uint32_t windowId)
    : strand_(asio::make_strand(executor)), timer_(strand_), recorder_(std::move(recorder)), windowId_(windowId) {}

void WindowValidationTask::launch() {
    asio::co_spawn(strand_, [self = shared_from_this()]() { return self->run(); }, asio::detached);
}

void WindowValidationTask::cancel() {
    cancelled_ = true;
    asio::post(strand_, [self = shared_from_this()] { self->timer_.cancel(); });
}

asio::awaitable<void> WindowValidationTask::run() {
    const std::shared_ptr<ScreenCaptureRecorder> recorder = recorder_.lock();
    if (!recorder) co_return;
    while (!isCancelled()) {
        timer_.expires_after(recorder->platform_.windowPollInterval);
        asio::error_code ignored;
        co_await timer_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
        if (isCancelled() || !recorder->isRecordingNow()) co_return;

        const auto content =
            co_await platform::queryShareableContent(*recorder->platform_.shareableContent, false, false);
        // A failed query is no proof that the window has gone; ask again next time.
        const auto* snapshot = std::get_if<platform::ShareableContentSnapshot>(&content);
        if (!snapshot) continue;
        if (platform::findWindow(*snapshot, windowId_)) continue;

        // A stop that is already finishing reports the recording itself.
        const auto reported = recorder->claimFinish();
        if (!reported) co_return;
        common::writeOutputLine("WINDOW_UNAVAILABLE");
        const std::string path = co_await recorder->finish();
        common::writeOutputLine("Recording stopped. Output path: " + path);
        recorder->platform_.exitProcess(0);
        reported->fire();
        co_return;
    }
}

void ScreenCaptureRecorder::startWindowValidationIfNeeded() {
    std::lock_guard lock(mutex_);
    if (state_.windowValidationTask) state_.windowValidationTask->cancel();
    state_.windowValidationTask.reset();
    if (!state_.trackedWindowId) return;
    state_.windowValidationTask =
        std::make_shared<WindowValidationTask>(executor_, weak_from_this(), *state_.trackedWindowId);
    state_.windowValidationTask->launch();
}

bool ScreenCaptureRecorder::isRecordingNow() const {
    std::lock_guard lock(mutex_);
    return state_.isRecording;
}

}  // namespace kelvane::recorder
