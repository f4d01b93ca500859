// What the host hands the program: the command line and the lines on standard input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "dictate/command_line.h"
#include "dictate/stop_command.h"

namespace kelvane::dictate {
namespace {

TEST(StopCommandTest, StopSurroundedByHorizontalSpaceEndsListening) {
    for (const std::string line : {"stop", "   stop", "stop\t", "\t stop \t", "\u00A0stop\u3000", "\u2003stop"}) {
        EXPECT_TRUE(isStopCommand(line)) << line;
    }
}

TEST(StopCommandTest, OtherLinesAreIgnored) {
    for (const std::string line : {"STOP", "Stop", "stop now", "s top", "", "  ", "stopp", "\vstop", "stop\r",
                                   "stop\u2028", "\xFFstop", "stop\xC2"}) {
        EXPECT_FALSE(isStopCommand(line)) << line;
    }
}

class InputPipe {
public:
    InputPipe() {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
        readEnd = fds[0];
        writeEnd = fds[1];
    }
    ~InputPipe() {
        ::close(readEnd);
        closeWriteEnd();
    }
    void write(const std::string& text) { ASSERT_EQ(::write(writeEnd, text.data(), text.size()), ssize_t(text.size())); }
    void closeWriteEnd() {
        if (writeEnd >= 0) ::close(writeEnd);
        writeEnd = -1;
    }
    int readEnd = -1;
    int writeEnd = -1;
};

TEST(StopCommandTest, ReaderReturnsAtTheStopLineAndLeavesTheRestUnread) {
    InputPipe input;
    input.write("hello\r\nSTOP\n  stop\t\r\nafter\n");
    common::LineReader reader(input.readEnd);
    waitForStopOrEndOfInput(reader);
    EXPECT_EQ(reader.next(), "after");
}

TEST(StopCommandTest, ReaderReturnsAtTheEndOfInput) {
    InputPipe input;
    input.write("stop now\nstopstop");
    input.closeWriteEnd();
    common::LineReader reader(input.readEnd);
    waitForStopOrEndOfInput(reader);
    EXPECT_FALSE(reader.next());
}

TEST(CommandLineTest, FirstArgumentIsTheLocaleEvenWhenEmptyElseTheDefault) {
    using Args = std::vector<const char*>;
    EXPECT_EQ(localeIdFromArguments(Args{"kelvane-dictate"}), "en-IN");
    EXPECT_EQ(localeIdFromArguments(Args{"kelvane-dictate", "de-DE", "ignored"}), "de-DE");
    EXPECT_EQ(localeIdFromArguments(Args{"kelvane-dictate", ""}), "");
    EXPECT_EQ(localeIdFromArguments(Args{}), "en-IN");
}

}  // namespace
}  // namespace kelvane::dictate
