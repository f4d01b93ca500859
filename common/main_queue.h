#pragma once
// The program's main queue: every state change after set-up runs here, one at a time.
#include <chrono>
#include <functional>
#include <memory>

#include "common/asio.h"

namespace kelvane::common {

class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Safe to call from any thread.
    virtual void post(std::function<void()> work) = 0;
    virtual void postAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

// The main queue as an io_context that the main thread runs.
class AsioMainQueue final : public MainQueue {
public:
    explicit AsioMainQueue(asio::io_context& context) : context_(context) {}

    void post(std::function<void()> work) override { asio::post(context_, std::move(work)); }

    void postAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
        auto timer = std::make_shared<asio::steady_timer>(context_, delay);
        // The timer keeps itself alive through its own handler.
        timer->async_wait([timer, work = std::move(work)](const std::error_code& error) {
            if (!error) work();
        });
    }

private:
    asio::io_context& context_;
};

}  // namespace kelvane::common
