#pragma once
// Awaiting a call that finishes through a callback, from a coroutine. The callback may run
// on any thread, synchronously or later; the awaiting coroutine always resumes on its own
// executor. Only the first answer counts, and an exception thrown by the call itself
// before it answered reaches the awaiting coroutine instead of the caller's caller.
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "common/asio.h"

namespace kelvane::common {

// `begin` receives a copyable callback taking one Result.
template <class Result, class Begin>
asio::awaitable<Result> awaitCompletion(Begin begin) {
    static_assert(std::is_default_constructible_v<Result>, "a failed call resumes with an exception and a blank result");
    auto initiation = [begin = std::move(begin)](auto handler) mutable {
        // The coroutine's handler can only be moved and must run once; the callback must be
        // copyable and may be called more than once.
        struct Pending {
            decltype(handler) resume;
            std::atomic<bool> answered{false};
        };
        auto pending = std::make_shared<Pending>(std::move(handler));
        auto settle = [pending](std::exception_ptr failure, Result result) {
            if (pending->answered.exchange(true)) return;
            auto executor = asio::get_associated_executor(pending->resume);
            asio::post(executor, [pending, failure, result = std::move(result)]() mutable {
                pending->resume(failure, std::move(result));
            });
        };
        try {
            begin(std::function<void(Result)>([settle](Result result) { settle(nullptr, std::move(result)); }));
        } catch (...) {
            settle(std::current_exception(), Result{});
        }
    };
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, Result)>(
        std::move(initiation), asio::use_awaitable);
}

}  // namespace kelvane::common
