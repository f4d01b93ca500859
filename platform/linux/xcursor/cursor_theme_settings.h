#pragma once
// Which cursor theme and which nominal size the desktop asks for.
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::platform::xcursor {

struct CursorThemeSettings {
    std::string theme;
    int size = 0;
};

inline constexpr const char* fallbackCursorTheme = "default";
inline constexpr int fallbackCursorSize = 24;

// What each source says; nothing when a source does not say it (or says nothing usable).
struct CursorThemeSources {
    std::optional<std::string> environmentTheme;  // XCURSOR_THEME
    std::optional<std::string> environmentSize;   // XCURSOR_SIZE
    std::optional<std::string> resourceTheme;     // Xcursor.theme
    std::optional<std::string> resourceSize;      // Xcursor.size
};

// The environment wins over the X resources, which win over the fallbacks. A size that is
// not a whole number from 1 to 1024 counts as not given.
CursorThemeSettings resolveCursorThemeSettings(const CursorThemeSources& sources);

// The value of the resource `name` ("Xcursor.theme"; also given as "Xcursor*theme", or
// as "*theme" for every program) in the resource text xrdb leaves on the root window.
std::optional<std::string> resourceValue(std::string_view resources, std::string_view name);

// Reads the sources of this process: its environment and, only when the environment
// leaves something open and a display is reachable, the display's resources.
CursorThemeSettings currentCursorThemeSettings();

}  // namespace kelvane::platform::xcursor
