#pragma once
// Which display system this process talks to, decided once from the environment the
// session gave it. Every backend factory that has more than one foundation asks here.
#include <string_view>

namespace kelvane::platform::session {

enum class DisplaySession { x11, wayland };

// Wayland when `waylandDisplay` (WAYLAND_DISPLAY) names a display or `sessionType`
// (XDG_SESSION_TYPE) is "wayland"; X11 otherwise. A null or empty value is unset.
DisplaySession displaySessionFor(const char* waylandDisplay, const char* sessionType);

// The same, read from this process's environment.
DisplaySession currentDisplaySession();

}  // namespace kelvane::platform::session
