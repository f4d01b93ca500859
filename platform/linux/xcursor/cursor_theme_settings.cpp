#include "platform/linux/xcursor/cursor_theme_settings.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "platform/linux/x11/x_connection.h"

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

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The RESOURCE_MANAGER text of the display's first screen; nothing when the display
// cannot be reached or does not answer in time.
std::optional<std::string> displayResources() {
    try {
        const x11::XConnection connection;
        const auto reply = connection.reply<xcb_get_property_reply_t>(xcb_get_property(
            connection.get(), 0, connection.root(), XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1 << 20));
        if (!reply || reply->format != 8) return std::nullopt;
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    } catch (const x11::XConnectionError&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> resourceValue(std::string_view resources, std::string_view name) {
    // "*theme" names the option for every program; "Xcursor.theme" is more specific and wins.
    const std::string anyProgram = "." + std::string(name.substr(name.rfind('.') + 1));
    std::optional<std::string> loose;
    while (!resources.empty()) {
        const auto end = resources.find('\n');
        const std::string_view line = resources.substr(0, end);
        resources = end == std::string_view::npos ? std::string_view() : resources.substr(end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string key(trimmed(line.substr(0, colon)));
        std::replace(key.begin(), key.end(), '*', '.');
        const std::optional<std::string> value = nonEmpty(std::string(trimmed(line.substr(colon + 1))).c_str());
        if (key == name) return value;
        if (key == anyProgram) loose = value;
    }
    return loose;
}

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
        if (const std::optional<std::string> resources = displayResources()) {
            sources.resourceTheme = resourceValue(*resources, "Xcursor.theme");
            sources.resourceSize = resourceValue(*resources, "Xcursor.size");
        }
    }
    return resolveCursorThemeSettings(sources);
}

}  // namespace kelvane::platform::xcursor
