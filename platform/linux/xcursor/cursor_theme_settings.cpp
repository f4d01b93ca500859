#include "platform/linux/xcursor/cursor_theme_settings.h"

#include <X11/Xlib.h>

#include <charconv>
#include <cstdlib>

namespace kelvane::platform::xcursor {
namespace {

std::optional<int> parseSize(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    int value = 0;
    const char* end = text->data() + text->size();
    auto [rest, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc{} || rest != end || value < 1 || value > 1024) return std::nullopt;
    return value;
}

std::optional<std::string> nonEmpty(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    return std::string(text);
}

}  // namespace

CursorThemeSettings resolveCursorThemeSettings(const CursorThemeSources& sources) {
    CursorThemeSettings settings;
    if (sources.environmentTheme && !sources.environmentTheme->empty()) {
        settings.theme = *sources.environmentTheme;
    } else if (sources.resourceTheme && !sources.resourceTheme->empty()) {
        settings.theme = *sources.resourceTheme;
    } else {
        settings.theme = fallbackCursorTheme;
    }
    settings.size = parseSize(sources.environmentSize)
                        .value_or(parseSize(sources.resourceSize).value_or(fallbackCursorSize));
    return settings;
}

CursorThemeSettings currentCursorThemeSettings() {
    CursorThemeSources sources;
    sources.environmentTheme = nonEmpty(std::getenv("XCURSOR_THEME"));
    sources.environmentSize = nonEmpty(std::getenv("XCURSOR_SIZE"));
    const bool environmentDecides = sources.environmentTheme && parseSize(sources.environmentSize);
    if (!environmentDecides && nonEmpty(std::getenv("DISPLAY"))) {
        if (Display* display = XOpenDisplay(nullptr)) {
            sources.resourceTheme = nonEmpty(XGetDefault(display, "Xcursor", "theme"));
            sources.resourceSize = nonEmpty(XGetDefault(display, "Xcursor", "size"));
            XCloseDisplay(display);
        }
    }
    return resolveCursorThemeSettings(sources);
}

}  // namespace kelvane::platform::xcursor
