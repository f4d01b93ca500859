#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/main_queue_call.h"
#include "common/poll_timer.h"

namespace kelvane::common {
namespace {

TEST(PollTimer, TicksAtOnceThenRepeatsWithoutOverlapping) {
    asio::thread_pool pool(2);
    std::atomic<int> ticks{0};
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    const auto started = std::chrono::steady_clock::now();
    std::atomic<std::chrono::steady_clock::duration::rep> firstTick{-1};
    PollTimer timer(pool.get_executor(), std::chrono::milliseconds(10), [&] {
        if (running.fetch_add(1) != 0) overlapped = true;
        if (ticks.load() == 0) firstTick = (std::chrono::steady_clock::now() - started).count();
        // Slower than the interval, so a timer that did not wait for its handler would overlap.
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        ++ticks;
        running.fetch_sub(1);
    });
    timer.start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ticks.load() < 5 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pool.stop();
    pool.join();
    EXPECT_GE(ticks.load(), 5);
    EXPECT_FALSE(overlapped.load());
    // The first tick does not wait a whole interval (generous bound for loaded machines).
    EXPECT_LT(std::chrono::steady_clock::duration(firstTick.load()), std::chrono::seconds(5));
}

TEST(MainQueueCall, RunsOnTheQueueThreadAndReturnsItsResult) {
    asio::io_context mainQueue;
    auto work = asio::make_work_guard(mainQueue);
    std::thread mainThread([&] { mainQueue.run(); });
    const auto ranOn = callOnQueue(mainQueue, [] { return std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, mainThread.get_id());
    EXPECT_EQ(callOnQueue(mainQueue, [] { return std::string("cursor"); }), "cursor");
    work.reset();
    mainThread.join();
}

}  // namespace
}  // namespace kelvane::common
