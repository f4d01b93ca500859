#pragma once
// Output to the host. Each line reaches the file descriptor in one write, so lines from
// several threads never interleave and nothing sits in a buffer when the process ends.
#include <string_view>

namespace kelvane::common {

// Writes `line` followed by a line feed in one write to standard output.
void writeOutputLine(std::string_view line);
// Writes `line` followed by a line feed in one write to standard error.
void writeErrorLine(std::string_view line);
// Writes `bytes` as they are (no line feed) to standard output.
void writeOutputBytes(std::string_view bytes);

// Writes all of `bytes` to `fd` in as few writes as the kernel allows, retrying on EINTR.
// Returns false when the descriptor refuses (closed pipe, full disk).
bool writeAll(int fd, std::string_view bytes);

}  // namespace kelvane::common
