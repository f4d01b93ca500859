#pragma once
// A counter that threads enter and leave; waiters wake when it is back at zero.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kelvane::common {

class DispatchGroup {
public:
    void enter() {
        std::lock_guard lock(mutex_);
        ++count_;
    }

    void leave() {
        std::lock_guard lock(mutex_);
        if (count_ > 0 && --count_ == 0) zero_.notify_all();
    }

    void wait() {
        std::unique_lock lock(mutex_);
        zero_.wait(lock, [this] { return count_ == 0; });
    }

    // True when the group reached zero before the timeout.
    template <class Rep, class Period>
    bool waitFor(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock lock(mutex_);
        return zero_.wait_for(lock, timeout, [this] { return count_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable zero_;
    int count_ = 0;
};

}  // namespace kelvane::common
