#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "cursor-watch/main_queue_call.h"
#include "cursor-watch/monitor_input.h"
#include "cursor-watch/poll_timer.h"
#include "cursor-watch/state_printer.h"

namespace kelvane::cursorwatch {
namespace {

TEST(MonitorInput, StopMatchesInAnyLetterCaseButUntrimmed) {
    for (const char* line : {"stop", "Stop", "STOP", "sToP"}) EXPECT_TRUE(isStopLine(line)) << line;
    for (const char* line : {" stop", "stop ", "stop now", "", "sto", "stopp", "\tstop", "st op"}) {
        EXPECT_FALSE(isStopLine(line)) << '"' << line << '"';
    }
}

TEST(MonitorInput, ExportFlagIsRecognisedAnywhereButOnlyWhole) {
    using Args = std::vector<const char*>;
    auto requested = [](const Args& args) { return exportImagesRequested(args); };
    EXPECT_TRUE(requested(Args{"watch", "--export-images"}));
    EXPECT_TRUE(requested(Args{"watch", "-v", "--export-images", "other"}));
    EXPECT_FALSE(requested(Args{"watch"}));
    EXPECT_FALSE(requested(Args{"watch", "--export-images=yes"}));
    EXPECT_FALSE(requested(Args{"watch", "--export-image"}));
    EXPECT_FALSE(requested(Args{"--export-images"}));  // the program's own name
    EXPECT_FALSE(requested(Args{}));
}

// Feeds `text` to a reader through a pipe, closing it afterwards when asked.
class PipedInput {
public:
    PipedInput() { EXPECT_EQ(::pipe(fds_), 0); }
    ~PipedInput() {
        closeWriter();
        ::close(fds_[0]);
    }
    void write(std::string_view text) { ASSERT_EQ(::write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size())); }
    void closeWriter() {
        if (fds_[1] >= 0) ::close(fds_[1]);
        fds_[1] = -1;
    }
    int readEnd() const { return fds_[0]; }

private:
    int fds_[2] = {-1, -1};
};

TEST(MonitorInput, WaitingEndsAtStopLineOrEndOfInput) {
    {
        PipedInput input;
        input.write(" stop\nstop please\nStop\r\nafter\n");
        common::LineReader reader(input.readEnd());
        waitForStopLine(reader);
        // The reader stopped at the stop line; what follows is still unread.
        EXPECT_EQ(reader.next(), "after");
    }
    {
        PipedInput input;
        input.write("hello\n stop");
        input.closeWriter();
        common::LineReader reader(input.readEnd());
        waitForStopLine(reader);
        EXPECT_EQ(reader.next(), std::nullopt);
    }
}

TEST(StatePrinter, PrintsFirstStateAndThenOnlyChanges) {
    std::vector<std::string> lines;
    StatePrinter printer([&](std::string_view line) { lines.emplace_back(line); });
    for (const char* state : {"arrow", "arrow", "text", "text", "text", "pointer", "arrow", "arrow"}) {
        printer.emitStateIfNeeded(state);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"STATE:arrow", "STATE:text", "STATE:pointer", "STATE:arrow"}));
}

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
}  // namespace kelvane::cursorwatch
