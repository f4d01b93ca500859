#pragma once
// What a writer and its inputs' workers share: the status, the first failure, and the
// session's start and end.
#include <mutex>
#include <optional>
#include <string>

#include "platform/media_time.h"
#include "platform/media_writer.h"

namespace kelvane::platform::ffmpeg {

class WriterState {
public:
    MediaWriterStatus status() const {
        std::lock_guard lock(mutex_);
        return status_;
    }
    void setStatus(MediaWriterStatus status) {
        std::lock_guard lock(mutex_);
        if (status_ != MediaWriterStatus::failed) status_ = status;
    }
    // Marks the writer failed; the first description is the one kept.
    void fail(const std::string& description) {
        std::lock_guard lock(mutex_);
        status_ = MediaWriterStatus::failed;
        if (!error_) error_ = description;
    }
    std::optional<std::string> error() const {
        std::lock_guard lock(mutex_);
        return error_;
    }

    void setSessionStart(const MediaTime& time) {
        std::lock_guard lock(mutex_);
        sessionStart_ = time;
    }
    std::optional<MediaTime> sessionStart() const {
        std::lock_guard lock(mutex_);
        return sessionStart_;
    }
    void setSessionEnd(const MediaTime& time) {
        std::lock_guard lock(mutex_);
        sessionEnd_ = time;
    }
    std::optional<MediaTime> sessionEnd() const {
        std::lock_guard lock(mutex_);
        return sessionEnd_;
    }

private:
    mutable std::mutex mutex_;
    MediaWriterStatus status_ = MediaWriterStatus::unknown;
    std::optional<std::string> error_;
    std::optional<MediaTime> sessionStart_;
    std::optional<MediaTime> sessionEnd_;
};

}  // namespace kelvane::platform::ffmpeg
