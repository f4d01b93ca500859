#pragma once
// Bridges platform calls that finish through a callback (on any thread) into awaitables:
// the awaiting coroutine resumes on its own executor, never on the platform's thread.
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "common/asio.h"

namespace kelvane::recorder {

// `begin` receives a callback taking one Result and must make sure it is called once.
template <class Result, class Begin>
asio::awaitable<Result> awaitCompletion(Begin begin) {
    co_return co_await asio::async_initiate<decltype(asio::use_awaitable), void(Result)>(
        [begin = std::move(begin)](auto handler) mutable {
            auto shared = std::make_shared<decltype(handler)>(std::move(handler));
            begin(std::function<void(Result)>([shared](Result result) {
                auto executor = asio::get_associated_executor(*shared);
                asio::post(executor, [shared, result = std::move(result)]() mutable { (*shared)(std::move(result)); });
            }));
        },
        asio::use_awaitable);
}

// Fires once; coroutines that wait on it before or after resume once it has fired.
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

}  // namespace kelvane::recorder
