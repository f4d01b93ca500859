#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "cursor-watch/cursor_watch_process.h"
#include "cursor-watch/monitor_input.h"
#include "cursor-watch/state_printer.h"
#include "cursor-watch/tests/synthetic_cursors.h"
#include "testing/fake_accessibility.h"
#include "testing/fake_standard_cursors.h"
#include "testing/fake_system_cursor.h"

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

// The lines a run writes; shared, because a finished monitor's threads outlive the test.
class LineLog {
public:
    void add(std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
        changed_.notify_all();
    }
    // Waits until `count` lines are in (or gives up after generous time) and returns them.
    std::vector<std::string> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [&] { return lines_.size() >= count; });
        return lines_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

struct MonitorRun {
    std::shared_ptr<LineLog> log = std::make_shared<LineLog>();
    std::shared_ptr<std::atomic<int>> exitStatus = std::make_shared<std::atomic<int>>(-1);
    kelvane::testing::FakeSystemCursor* systemCursor = nullptr;
    bool systemCursorMade = false;
    PipedInput input;

    // Standard cursors with distinct text and pointer shapes; the arrow is missing, so
    // an unreadable pointer falls back to it.
    CursorWatchPlatform platform() {
        return {[] { return std::make_unique<kelvane::testing::FakeAccessibility>(); },
                [] {
                    auto cursors = std::make_unique<kelvane::testing::FakeStandardCursors>();
                    cursors->set(platform::StandardCursor::iBeam, textShape());
                    cursors->set(platform::StandardCursor::pointingHand, pointerShape());
                    return cursors;
                },
                [this] {
                    systemCursorMade = true;
                    auto cursor = std::make_unique<kelvane::testing::FakeSystemCursor>();
                    systemCursor = cursor.get();
                    return cursor;
                }};
    }
    common::ProgramDescriptors descriptors() {
        common::ProgramDescriptors made;
        made.input = input.readEnd();
        made.writeLine = [log = log](std::string_view line) { log->add(line); };
        made.exit = [status = exitStatus](int value) { *status = value; };
        return made;
    }
    static platform::CursorImage textShape() { return testing::solidCursor(8, 24); }
    static platform::CursorImage pointerShape() {
        return testing::syntheticCursor(24, 24, 6, 0, [](int x, int y) { return static_cast<std::uint8_t>(x <= y ? 255 : 0); });
    }
};

TEST(CursorWatchRun, PrintsAStateLineOnEveryChangeUntilStop) {
    MonitorRun run;
    std::thread mainThread;
    std::atomic<int> returned{-1};
    mainThread = std::thread([&] {
        const std::vector<const char*> arguments{"kelvane-cursor-watch"};
        returned = runCursorWatch(arguments, run.platform(), run.descriptors());
    });
    EXPECT_EQ(run.log->waitFor(1), std::vector<std::string>{"STATE:arrow"}) << "nothing shown yet";
    run.systemCursor->show(MonitorRun::textShape());
    EXPECT_EQ(run.log->waitFor(2).back(), "STATE:text");
    run.systemCursor->show(MonitorRun::pointerShape());
    EXPECT_EQ(run.log->waitFor(3).back(), "STATE:pointer");
    // An unchanged pointer prints nothing more, however often it is polled.
    const int readsBefore = run.systemCursor->reads();
    while (run.systemCursor->reads() < readsBefore + 3) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(run.log->waitFor(0).size(), 3u);

    run.input.write("Stop\n");
    mainThread.join();
    EXPECT_EQ(run.exitStatus->load(), 0);
    EXPECT_EQ(returned.load(), 0);
}

TEST(CursorWatchRun, ExportPrintsTheKnownImagesWithoutWatchingThePointer) {
    MonitorRun run;
    const std::vector<const char*> arguments{"kelvane-cursor-watch", "--export-images"};
    EXPECT_EQ(runCursorWatch(arguments, run.platform(), run.descriptors()), 0);
    const std::vector<std::string> lines = run.log->waitFor(0);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) EXPECT_EQ(line.rfind("STATE:", 0), std::string::npos) << line;
    EXPECT_FALSE(run.systemCursorMade);
    EXPECT_EQ(run.exitStatus->load(), -1) << "export returns its status instead of exiting";
}

}  // namespace
}  // namespace kelvane::cursorwatch
