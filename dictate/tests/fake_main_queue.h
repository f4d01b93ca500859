#pragma once
// A main queue on a virtual clock: work runs only when the test lets time pass, so the
// 120-second limit and the grace period are tested without waiting.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "common/main_queue.h"

namespace kelvane::dictate::testing {

class FakeMainQueue : public common::MainQueue {
public:
    using Clock = std::chrono::milliseconds;

    void post(std::function<void()> work) override { postAfter(Clock{0}, std::move(work)); }

    void postAfter(Clock delay, std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        pending_.emplace(std::make_pair(now_ + delay, nextSequence_++), std::move(work));
    }

    // Runs, in deadline order, everything due within `duration` from now (work posted
    // meanwhile included), then sets the clock to the end of it.
    void advance(Clock duration) {
        const Clock end = now_ + duration;
        while (!halted_) {
            std::function<void()> work;
            {
                std::lock_guard lock(mutex_);
                if (pending_.empty() || pending_.begin()->first.first > end) break;
                auto next = pending_.begin();
                now_ = next->first.first;
                work = std::move(next->second);
                pending_.erase(next);
            }
            work();
        }
        now_ = end;
    }

    void runDue() { advance(Clock{0}); }

    // The process has ended: nothing queued runs any more.
    void halt() { halted_ = true; }

    Clock now() const { return now_; }

private:
    std::mutex mutex_;
    Clock now_{0};
    unsigned long nextSequence_ = 0;
    std::map<std::pair<Clock, unsigned long>, std::function<void()>> pending_;
    bool halted_ = false;
};

}  // namespace kelvane::dictate::testing
