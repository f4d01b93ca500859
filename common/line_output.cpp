#include "common/line_output.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

namespace kelvane::common {

namespace {

std::mutex& outputMutex() {
    static std::mutex mutex;
    return mutex;
}

void writeLineTo(int fd, std::string_view line) {
    std::string buffer;
    buffer.reserve(line.size() + 1);
    buffer.append(line);
    buffer += '\n';
    std::lock_guard lock(outputMutex());
    writeAll(fd, buffer);
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

void writeOutputLine(std::string_view line) { writeLineTo(STDOUT_FILENO, line); }

void writeErrorLine(std::string_view line) { writeLineTo(STDERR_FILENO, line); }

void writeOutputBytes(std::string_view bytes) {
    std::lock_guard lock(outputMutex());
    writeAll(STDOUT_FILENO, bytes);
}

}  // namespace kelvane::common
