#pragma once
// How AT-SPI roles and actions read in the portable "AX..." vocabulary.
#include <optional>
#include <string>
#include <string_view>

#include <atspi/atspi.h>

namespace kelvane::platform::atspi {

struct AxRole {
    std::string role;
    std::optional<std::string> subrole;
};

// Entries and text areas, buttons, links, menu items, splitters and the other roles the
// cursor rules care about get their fixed names; any other role is "AX" followed by its
// AT-SPI name in UpperCamelCase ("drawing area" -> "AXDrawingArea").
AxRole axRoleFor(AtspiRole role);

// Whether an AT-SPI action name is the element's press action.
bool isPressAction(std::string_view actionName);

inline constexpr std::string_view axPressAction = "AXPress";

}  // namespace kelvane::platform::atspi
