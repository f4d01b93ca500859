#pragma once
// How X window properties become the attributes of a shareable window: text decoding,
// the owning application, the stacking layer and the on-screen rule. Pure functions,
// so they can be tested without a server.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/shareable_content.h"

namespace kelvane::platform::x11 {

// Text of a property: Latin-1 when its type is STRING, else UTF-8; bad UTF-8 is repaired.
std::string decodeTextProperty(std::string_view bytes, bool isLatin1);

// WM_CLASS holds two NUL-terminated strings: the instance name, then the class name.
struct WmClass {
    std::string instanceName;
    std::string className;
};
std::optional<WmClass> parseWmClass(std::string_view bytes);

struct ApplicationHints {
    std::optional<WmClass> wmClass;
    std::optional<std::int32_t> processID;
    std::optional<std::string> gtkApplicationID;
    std::optional<std::string> kdeDesktopFile;
};

// The application that owns a window, when it has a WM_CLASS or a process id. Its name is
// the class part of WM_CLASS, else the process's command name (read by `commandName`);
// its identifier the GTK application id, else the KDE desktop file, else the instance part.
std::optional<RunningApplication> owningApplication(
    const ApplicationHints& hints, const std::function<std::optional<std::string>(std::int32_t)>& commandName);

// The process's command name from /proc/<pid>/comm, without the line feed.
std::optional<std::string> procCommandName(std::int32_t processID);

enum class WindowType {
    normal,
    dialog,
    utility,
    toolbar,
    splash,
    desktop,
    dock,
    menu,
    dropdownMenu,
    popupMenu,
    combo,
    dnd,
    tooltip,
    notification,
};

// Levels as the host knows them from its own platform.
inline constexpr std::int64_t kNormalLayer = 0;
inline constexpr std::int64_t kFloatingLayer = 3;
inline constexpr std::int64_t kDockLayer = 20;
inline constexpr std::int64_t kStatusLayer = 25;
inline constexpr std::int64_t kPopUpMenuLayer = 101;
inline constexpr std::int64_t kDesktopLayer = -2147483623;

// `type` is the first type of _NET_WM_WINDOW_TYPE this program knows, none when the
// window names none (it is then a normal window).
std::int64_t windowLayer(std::optional<WindowType> type, bool keptAbove, bool overrideRedirect);

// The desktop number that means "on every desktop".
inline constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

// Viewable, not minimised, and on the current desktop (or on all of them). A window or
// a screen without desktop numbers counts as being on the current one.
bool isOnScreen(bool viewable, bool hidden, std::optional<std::uint32_t> desktop,
                std::optional<std::uint32_t> currentDesktop);

}  // namespace kelvane::platform::x11
