#pragma once
// Standard cursors whose images the test sets; a cursor never set has no image.
#include <map>
#include <optional>

#include "platform/standard_cursors.h"

namespace kelvane::testing {

class FakeStandardCursors final : public platform::StandardCursors {
public:
    void set(platform::StandardCursor cursor, platform::CursorImage image) { images_[cursor] = std::move(image); }
    void remove(platform::StandardCursor cursor) { images_.erase(cursor); }

    std::optional<platform::CursorImage> image(platform::StandardCursor cursor) override {
        ++reads_[cursor];
        auto found = images_.find(cursor);
        if (found == images_.end()) return std::nullopt;
        return found->second;
    }

    int reads(platform::StandardCursor cursor) const {
        auto found = reads_.find(cursor);
        return found == reads_.end() ? 0 : found->second;
    }

private:
    std::map<platform::StandardCursor, platform::CursorImage> images_;
    std::map<platform::StandardCursor, int> reads_;
};

}  // namespace kelvane::testing
