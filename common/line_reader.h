#pragma once
// Reads lines from a file descriptor (standard input by default) without stdio
// buffering, so a reader thread and the rest of the program never fight over a FILE.
#include <cstddef>
#include <optional>
#include <string>
#include <unistd.h>

namespace kelvane::common {

class LineReader {
public:
    // Every line the programs obey is a short word; a longer line is dropped while it
    // streams in, so whatever the other end writes, memory stays this small.
    static constexpr std::size_t maxLineLength = 64;

    explicit LineReader(int fd = STDIN_FILENO) : fd_(fd) {}

    // The next line of at most maxLineLength bytes, without its LF or CRLF ending; a last
    // line without an ending is returned too. Nothing at end of input or on a read error.
    std::optional<std::string> next();

private:
    // The complete line ending at `newline`, or nothing when it is too long to keep.
    std::optional<std::string> takeLine(std::size_t newline);

    int fd_;
    std::string pending_;
    std::size_t scanned_ = 0;  // bytes of pending_ already known to hold no line feed
    bool discardingLongLine_ = false;
    bool ended_ = false;
};

}  // namespace kelvane::common
