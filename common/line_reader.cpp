#include "common/line_reader.h"

#include <cerrno>

namespace kelvane::common {

namespace {

std::size_t withoutCarriageReturn(const std::string& text, std::size_t end) {
    return end > 0 && text[end - 1] == '\r' ? end - 1 : end;
}

}  // namespace

std::optional<std::string> LineReader::takeLine(std::size_t newline) {
    const std::size_t length = withoutCarriageReturn(pending_, newline);
    std::optional<std::string> line;
    if (!discardingLongLine_ && length <= maxLineLength) line = pending_.substr(0, length);
    pending_.erase(0, newline + 1);
    scanned_ = 0;
    discardingLongLine_ = false;
    return line;
}

std::optional<std::string> LineReader::next() {
    for (;;) {
        for (std::size_t newline; (newline = pending_.find('\n', scanned_)) != std::string::npos;) {
            if (std::optional<std::string> line = takeLine(newline)) return line;
        }
        scanned_ = pending_.size();
        // One more byte than a line may hold, for a CR before its LF.
        if (pending_.size() > maxLineLength + 1) {
            discardingLongLine_ = true;
            pending_.clear();
            scanned_ = 0;
        }
        if (ended_) {
            const bool keep = !discardingLongLine_ && !pending_.empty() &&
                              withoutCarriageReturn(pending_, pending_.size()) <= maxLineLength;
            std::optional<std::string> line;
            if (keep) line = std::move(pending_);
            pending_.clear();
            discardingLongLine_ = false;
            return line;
        }
        char buffer[16384];
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
