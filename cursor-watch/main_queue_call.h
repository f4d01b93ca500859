#pragma once
// Runs a function on the main queue and waits for its result on the calling thread.
// The main thread must be serving the queue, or the caller waits for ever.
#include <future>
#include <utility>

#include "common/asio.h"

namespace kelvane::cursorwatch {

template <typename Function>
auto callOnQueue(asio::io_context& queue, Function function) -> decltype(function()) {
    std::packaged_task<decltype(function())()> task(std::move(function));
    auto result = task.get_future();
    asio::post(queue, [&task] { task(); });
    return result.get();
}

}  // namespace kelvane::cursorwatch
