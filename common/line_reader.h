#pragma once
// Reads lines from a file descriptor (standard input by default) without stdio
// buffering, so a reader thread and the rest of the program never fight over a FILE.
#include <optional>
#include <string>
#include <unistd.h>

namespace kelvane::common {

class LineReader {
public:
    explicit LineReader(int fd = STDIN_FILENO) : fd_(fd) {}

    // The next line without its LF or CRLF ending; a last line without an ending is
    // returned too. Nothing at end of input or on a read error.
    std::optional<std::string> next();

private:
    int fd_;
    std::string pending_;
    bool ended_ = false;
};

}  // namespace kelvane::common
