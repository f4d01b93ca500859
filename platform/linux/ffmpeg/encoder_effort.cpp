#include "platform/linux/ffmpeg/encoder_effort.h"

namespace kelvane::platform::ffmpeg {

std::optional<int> EncoderEffort::record(std::int64_t workNs, std::int64_t mediaNs) {
    if (!windowStartNs_ || mediaNs < *windowStartNs_) {
        windowStartNs_ = mediaNs;
        workInWindowNs_ = 0;
    }
    workInWindowNs_ += workNs;
    const std::int64_t elapsedNs = mediaNs - *windowStartNs_;
    if (elapsedNs < windowNs) return std::nullopt;

    const double busy = static_cast<double>(workInWindowNs_) / static_cast<double>(elapsedNs);
    windowStartNs_ = mediaNs;
    workInWindowNs_ = 0;
    const int before = level_;
    if (busy > busyAbove && level_ < fastestLevel) ++level_;
    if (busy < idleBelow && level_ > 0) --level_;
    if (level_ == before) return std::nullopt;
    return level_;
}

}  // namespace kelvane::platform::ffmpeg
