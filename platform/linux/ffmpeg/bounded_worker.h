#pragma once
// One worker thread fed through a queue of bounded length. Handing it an item never
// blocks: when the queue is full the item is refused, and the caller decides what is lost.
// When no item has come for `idleAfter` since the last one was handled, the worker calls
// `onIdle` once.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kelvane::platform::ffmpeg {

template <class Item>
class BoundedWorker {
public:
    BoundedWorker(std::size_t capacity, std::function<void(Item&)> handler,
                  std::chrono::milliseconds idleAfter = std::chrono::hours(24), std::function<void()> onIdle = {})
        : capacity_(capacity),
          handler_(std::move(handler)),
          idleAfter_(idleAfter),
          onIdle_(std::move(onIdle)),
          thread_([this] { run(); }) {}

    ~BoundedWorker() {
        close();
        join();
    }

    BoundedWorker(const BoundedWorker&) = delete;
    BoundedWorker& operator=(const BoundedWorker&) = delete;

    // Queues `item`; false, without waiting, when the queue is full or closed.
    bool tryPush(Item item) {
        {
            std::lock_guard lock(mutex_);
            if (closed_ || queue_.size() >= capacity_) return false;
            queue_.push_back(std::move(item));
        }
        wake_.notify_one();
        return true;
    }

    bool isFull() const {
        std::lock_guard lock(mutex_);
        return queue_.size() >= capacity_;
    }

    // No more items are taken; those queued are still handled.
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        wake_.notify_one();
    }

    // Waits until every queued item is handled (after close()).
    void join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    void run() {
        bool idleCalled = true;
        for (;;) {
            Item item;
            {
                std::unique_lock lock(mutex_);
                const auto waiting = [this] { return closed_ || !queue_.empty(); };
                if (!wake_.wait_for(lock, idleAfter_, waiting)) {
                    if (idleCalled || !onIdle_) {
                        wake_.wait(lock, waiting);
                    } else {
                        idleCalled = true;
                        lock.unlock();
                        onIdle_();
                        continue;
                    }
                }
                if (queue_.empty()) return;
                item = std::move(queue_.front());
                queue_.pop_front();
            }
            handler_(item);
            idleCalled = false;
        }
    }

    const std::size_t capacity_;
    std::function<void(Item&)> handler_;
    const std::chrono::milliseconds idleAfter_;
    std::function<void()> onIdle_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> queue_;
    bool closed_ = false;
    std::thread thread_;
};

}  // namespace kelvane::platform::ffmpeg
