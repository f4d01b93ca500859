#include "recorder/recorder_service.h"

#include <exception>

#include "common/line_output.h"
#include "recorder/capture_error.h"

namespace kelvane::recorder {
namespace {

std::string describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error";
    }
}

bool declinedScreenAccess(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const ScreenAccessDeclined&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

RecorderService::RecorderService(RecorderPlatform platform, asio::any_io_executor executor)
    : recorder_(std::make_shared<ScreenCaptureRecorder>(std::move(platform), executor)),
      queue_(asio::make_strand(executor)) {}

void RecorderService::start(std::string configJSON) {
    completionGroup_.enter();
    {
        std::lock_guard lock(startMutex_);
        startPending_ = true;
    }
    asio::post(queue_, [this, configJSON = std::move(configJSON)]() mutable {
        asio::co_spawn(queue_, recorder_->start(std::move(configJSON)), [this](std::exception_ptr failure) {
            bool stopNow;
            {
                std::lock_guard lock(startMutex_);
                startPending_ = false;
                stopNow = stopAfterStart_ && !failure;
            }
            if (stopNow) submitStop();
            if (!failure) return;
            if (declinedScreenAccess(failure)) {
                screenAccessDeclined_ = true;
                common::writeErrorLine("SCREEN_RECORDING_PERMISSION_DENIED");
            } else {
                common::writeErrorLine("Error starting capture: " + describe(failure));
            }
            completionGroup_.leave();
        });
    });
}

void RecorderService::pause() {
    asio::post(queue_, [this] { recorder_->pause(); });
}

void RecorderService::resume() {
    asio::post(queue_, [this] { recorder_->resume(); });
}

void RecorderService::stop() {
    StopSource first = StopSource::none;
    // After a signal's stop the recording is already being finished and reported.
    if (!firstStop_.compare_exchange_strong(first, StopSource::line) && first == StopSource::signal) return;
    submitStop();
}

void RecorderService::stopOnSignal() {
    StopSource first = StopSource::none;
    if (!firstStop_.compare_exchange_strong(first, StopSource::signal)) return;
    {
        // Refusing the stop here would end the process under a start that is about to
        // create its files; let the start finish and stop what it started.
        std::lock_guard lock(startMutex_);
        if (startPending_) {
            stopAfterStart_ = true;
            return;
        }
    }
    submitStop();
}

void RecorderService::submitStop() {
    asio::post(queue_, [this] {
        asio::co_spawn(queue_, recorder_->stop(), [this](std::exception_ptr failure, std::string path) {
            if (failure) {
                common::writeErrorLine("Error stopping capture: " + describe(failure));
            } else {
                common::writeOutputLine("Recording stopped. Output path: " + path);
            }
            completionGroup_.leave();
        });
    });
}

void RecorderService::waitUntilFinished() { completionGroup_.wait(); }

}  // namespace kelvane::recorder
