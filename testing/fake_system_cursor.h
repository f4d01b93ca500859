#pragma once
// A system cursor that shows whatever image the test sets, counting how often it is read.
#include <atomic>
#include <mutex>
#include <optional>

#include "platform/system_cursor.h"

namespace kelvane::testing {

class FakeSystemCursor final : public platform::SystemCursor {
public:
    void show(std::optional<platform::CursorImage> image) {
        std::lock_guard lock(mutex_);
        image_ = std::move(image);
    }

    std::optional<platform::CursorImage> current() override {
        reads_.fetch_add(1);
        std::lock_guard lock(mutex_);
        return image_;
    }

    int reads() const { return reads_.load(); }

private:
    std::mutex mutex_;
    std::optional<platform::CursorImage> image_;
    std::atomic<int> reads_{0};
};

}  // namespace kelvane::testing
