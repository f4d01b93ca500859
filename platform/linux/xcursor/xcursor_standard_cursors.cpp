// The standard cursors of the current Xcursor theme, read straight from the theme files.
#include <memory>

#include "platform/linux/xcursor/cursor_file_reader.h"
#include "platform/linux/xcursor/cursor_theme_files.h"
#include "platform/linux/xcursor/cursor_theme_settings.h"
#include "platform/linux/xcursor/theme_cursor_names.h"
#include "platform/standard_cursors.h"

namespace kelvane::platform {
namespace {

class XcursorStandardCursors final : public StandardCursors {
public:
    explicit XcursorStandardCursors(xcursor::CursorThemeSettings settings)
        : size_(settings.size), files_(xcursor::cursorSearchDirectories(), settings.theme) {}

    std::optional<CursorImage> image(StandardCursor cursor) override {
        std::optional<std::string> file = files_.find(xcursor::themeCursorNames(cursor));
        if (!file) return std::nullopt;
        return xcursor::readCursorFile(*file, size_);
    }

private:
    int size_;
    xcursor::CursorThemeFiles files_;
};

}  // namespace

std::unique_ptr<StandardCursors> makeStandardCursors() {
    return std::make_unique<XcursorStandardCursors>(xcursor::currentCursorThemeSettings());
}

}  // namespace kelvane::platform
