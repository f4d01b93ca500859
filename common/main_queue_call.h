#pragma once
// Runs a function on the main queue and waits for its result on the calling thread.
// The main thread must be serving the queue, or the caller waits for ever.
#include <future>
#include <memory>
#include <utility>

#include "common/asio.h"

namespace kelvane::common {

template <typename Function>
auto callOnQueue(asio::io_context& queue, Function function) -> decltype(function()) {
    // Shared, because the queue's thread may still be leaving the task when the caller
    // has its result and returns.
    auto task = std::make_shared<std::packaged_task<decltype(function())()>>(std::move(function));
    auto result = task->get_future();
    asio::post(queue, [task] { (*task)(); });
    return result.get();
}

}  // namespace kelvane::common
