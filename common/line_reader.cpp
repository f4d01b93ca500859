#include "common/line_reader.h"

#include <cerrno>

namespace kelvane::common {

std::optional<std::string> LineReader::next() {
    for (;;) {
        const auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (ended_) {
            if (pending_.empty()) return std::nullopt;
            std::string line = std::move(pending_);
            pending_.clear();
            return line;
        }
        char buffer[4096];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ended_ = true;
            continue;
        }
        pending_.append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace kelvane::common
