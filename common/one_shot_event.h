#pragma once
// Fires once; coroutines that wait on it before or after resume once it has fired, each on
// its own executor.
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "common/asio.h"
#include "common/completion_bridge.h"

namespace kelvane::common {

class OneShotEvent {
public:
    void fire() {
        std::vector<std::function<void(bool)>> waiters;
        {
            std::lock_guard lock(mutex_);
            fired_ = true;
            waiters.swap(waiters_);
        }
        for (auto& waiter : waiters) waiter(true);
    }

    asio::awaitable<void> wait() {
        co_await awaitCompletion<bool>([this](std::function<void(bool)> done) {
            {
                std::lock_guard lock(mutex_);
                if (!fired_) {
                    waiters_.push_back(std::move(done));
                    return;
                }
            }
            done(true);
        });
    }

private:
    std::mutex mutex_;
    bool fired_ = false;
    std::vector<std::function<void(bool)>> waiters_;
};

}  // namespace kelvane::common
