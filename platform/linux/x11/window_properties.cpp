#include "platform/linux/x11/window_properties.h"

#include <fstream>

#include "common/unicode_text.h"

namespace kelvane::platform::x11 {

namespace {

std::string latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

std::optional<std::string> nonEmpty(std::optional<std::string> text) {
    if (text && text->empty()) return std::nullopt;
    return text;
}

}  // namespace

std::string decodeTextProperty(std::string_view bytes, bool isLatin1) {
    // Some clients count the terminating NUL in the property's length.
    while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
    return isLatin1 ? latin1ToUtf8(bytes) : common::repairUtf8(bytes);
}

std::optional<WmClass> parseWmClass(std::string_view bytes) {
    if (bytes.empty()) return std::nullopt;
    const std::size_t end = bytes.find('\0');
    WmClass wmClass;
    wmClass.instanceName = decodeTextProperty(bytes.substr(0, end), true);
    if (end != std::string_view::npos) wmClass.className = decodeTextProperty(bytes.substr(end + 1), true);
    return wmClass;
}

std::optional<RunningApplication> owningApplication(
    const ApplicationHints& hints, const std::function<std::optional<std::string>(std::int32_t)>& commandName) {
    if (!hints.wmClass && !hints.processID) return std::nullopt;
    RunningApplication application;
    application.processID = hints.processID;
    if (hints.wmClass) application.applicationName = nonEmpty(hints.wmClass->className);
    if (!application.applicationName && hints.processID) {
        application.applicationName = nonEmpty(commandName(*hints.processID));
    }
    application.bundleIdentifier = nonEmpty(hints.gtkApplicationID);
    if (!application.bundleIdentifier) application.bundleIdentifier = nonEmpty(hints.kdeDesktopFile);
    if (!application.bundleIdentifier && hints.wmClass) {
        application.bundleIdentifier = nonEmpty(hints.wmClass->instanceName);
    }
    return application;
}

std::optional<std::string> procCommandName(std::int32_t processID) {
    if (processID <= 0) return std::nullopt;
    std::ifstream file("/proc/" + std::to_string(processID) + "/comm");
    std::string name;
    if (!std::getline(file, name)) return std::nullopt;
    return common::repairUtf8(name);
}

std::int64_t windowLayer(std::optional<WindowType> type, bool keptAbove, bool overrideRedirect) {
    if (overrideRedirect) return kPopUpMenuLayer;
    switch (type.value_or(WindowType::normal)) {
        case WindowType::normal:
        case WindowType::dialog:
        case WindowType::utility:
            return keptAbove ? kFloatingLayer : kNormalLayer;
        case WindowType::toolbar:
        case WindowType::splash:
            return kFloatingLayer;
        case WindowType::desktop:
            return kDesktopLayer;
        case WindowType::dock:
            return kDockLayer;
        case WindowType::menu:
        case WindowType::dropdownMenu:
        case WindowType::popupMenu:
        case WindowType::combo:
        case WindowType::dnd:
            return kPopUpMenuLayer;
        case WindowType::tooltip:
        case WindowType::notification:
            return kStatusLayer;
    }
    return kNormalLayer;
}

bool isOnScreen(bool viewable, bool hidden, std::optional<std::uint32_t> desktop,
                std::optional<std::uint32_t> currentDesktop) {
    if (!viewable || hidden) return false;
    if (!desktop || !currentDesktop || *desktop == kAllDesktops) return true;
    return *desktop == *currentDesktop;
}

}  // namespace kelvane::platform::x11
