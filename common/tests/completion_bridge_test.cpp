#include "common/completion_bridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace kelvane::common;

namespace {

using Answer = std::function<void(int)>;

struct Outcome {
    int value = -1;
    std::string failure;
    bool resumedOnTheLoopThread = false;
};

// Awaits `begin` from a coroutine on a loop run by this thread.
Outcome await(std::function<void(Answer)> begin) {
    asio::io_context loop;
    // Keeps the loop alive while an answer is still to come from another thread.
    auto guard = asio::make_work_guard(loop);
    Outcome outcome;
    const auto loopThread = std::this_thread::get_id();
    asio::co_spawn(
        loop,
        [&]() -> asio::awaitable<void> {
            try {
                outcome.value = co_await awaitCompletion<int>(begin);
            } catch (const std::exception& error) {
                outcome.failure = error.what();
            }
            outcome.resumedOnTheLoopThread = std::this_thread::get_id() == loopThread;
            guard.reset();
        },
        asio::detached);
    loop.run();
    return outcome;
}

TEST(CompletionBridge, FirstAnswerOrThrownErrorResumesTheCoroutineOnItsOwnThread) {
    struct Case {
        const char* name;
        std::function<void(Answer)> begin;
        int value;
        std::string failure;
    };
    std::vector<std::thread> answerers;
    const std::vector<Case> cases = {
        {"answers at once", [](Answer done) { done(7); }, 7, ""},
        {"answers later from another thread",
         [&answerers](Answer done) {
             answerers.emplace_back([done] {
                 std::this_thread::sleep_for(std::chrono::milliseconds(20));
                 done(8);
             });
         },
         8, ""},
        {"answers twice",
         [](Answer done) {
             done(1);
             done(2);
         },
         1, ""},
        {"throws before answering", [](Answer) { throw std::runtime_error("backend gone"); }, -1, "backend gone"},
        {"answers and then throws",
         [](Answer done) {
             done(3);
             throw std::runtime_error("too late");
         },
         3, ""},
    };
    for (const auto& c : cases) {
        const Outcome outcome = await(c.begin);
        EXPECT_EQ(outcome.value, c.value) << c.name;
        EXPECT_EQ(outcome.failure, c.failure) << c.name;
        EXPECT_TRUE(outcome.resumedOnTheLoopThread) << c.name;
    }
    for (auto& answerer : answerers) answerer.join();
}

}  // namespace
