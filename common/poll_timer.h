#pragma once
// A repeating timer: the first tick at once, then one every interval against absolute
// deadlines, so ticks do not drift by the handler's own running time. The next wait is
// armed only after the handler returns, so the handler never overlaps itself; ticks missed
// while it ran are folded into one.
#include <chrono>
#include <functional>

#include "common/asio.h"

namespace kelvane::common {

class PollTimer {
public:
    PollTimer(asio::any_io_executor executor, std::chrono::steady_clock::duration interval,
              std::function<void()> handler)
        : timer_(std::move(executor)), interval_(interval), handler_(std::move(handler)) {}

    void start() {
        deadline_ = std::chrono::steady_clock::now();
        arm();
    }

private:
    void arm() {
        timer_.expires_at(deadline_);
        timer_.async_wait([this](const asio::error_code& error) {
            if (error) return;
            handler_();
            deadline_ = std::max(deadline_ + interval_, std::chrono::steady_clock::now());
            arm();
        });
    }

    asio::steady_timer timer_;
    std::chrono::steady_clock::duration interval_;
    std::function<void()> handler_;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace kelvane::common
