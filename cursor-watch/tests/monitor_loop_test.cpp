#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "cursor-watch/monitor_input.h"
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

}  // namespace
}  // namespace kelvane::cursorwatch
