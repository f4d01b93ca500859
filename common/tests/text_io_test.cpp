#include "common/base64.h"
#include "common/dispatch_group.h"
#include "common/line_output.h"
#include "common/line_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace kelvane::common;

namespace {

std::string encode(const std::string& text) {
    return base64Encode({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace

TEST(Base64, EncodesWithPaddingForEveryRemainder) {
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==");
    EXPECT_EQ(encode("fo"), "Zm8=");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg==");
    EXPECT_EQ(encode("\xFF\xFE\x3F"), "//4/");
}

// Every line a reader gives for what `write` puts into a pipe from another thread.
std::vector<std::string> linesReadFrom(const std::function<void(int)>& write) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        write(fds[1]);
        close(fds[1]);
    });
    LineReader reader(fds[0]);
    std::vector<std::string> lines;
    while (auto line = reader.next()) lines.push_back(*line);
    writer.join();
    close(fds[0]);
    return lines;
}

TEST(LineReader, SplitsOnLfAndCrlfAndKeepsAnUnterminatedLastLine) {
    const std::string input = "pause\r\n\nRESUME  \nst";
    const auto lines = linesReadFrom([&](int fd) {
        for (char c : input) writeAll(fd, std::string_view(&c, 1));  // arrives byte by byte
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"pause", "", "RESUME  ", "st"}));
}

// A host that writes megabytes without a line feed must not stall the reader: the
// long lines vanish (whether they come in pieces or whole) and the next command is read.
TEST(LineReader, LinesLongerThanAnyCommandAreDroppedAndTheFollowingLinesRead) {
    const std::string longest(LineReader::maxLineLength, 'x');
    const auto lines = linesReadFrom([&](int fd) {
        const std::string chunk(1 << 16, 'a');
        for (int i = 0; i < 64; ++i) writeAll(fd, chunk);
        writeAll(fd, "\nstop\r\n" + longest + "\n" + longest + "y\nresume\n" + longest + "z");
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"stop", longest, "resume"}));
}

TEST(DispatchGroup, WaitReturnsOnlyWhenEveryEnterIsLeft) {
    DispatchGroup group;
    group.enter();
    group.enter();
    group.leave();
    EXPECT_FALSE(group.waitFor(std::chrono::milliseconds(20)));
    std::thread leaver([&] { group.leave(); });
    group.wait();
    leaver.join();
    EXPECT_TRUE(group.waitFor(std::chrono::milliseconds(0)));
}
