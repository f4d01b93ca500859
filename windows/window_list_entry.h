#pragma once
// One listed window as the host reads it, how it is formed from the window's
// attributes, the order of the list and its JSON text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

namespace kelvane::windows {

struct WindowListEntry {
    std::string id;
    std::string name;
    std::string display_id;
    std::optional<std::string> appName;
    std::optional<std::string> windowTitle;
    std::optional<std::string> bundleId;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// Trims leading and trailing Unicode white space; nothing when no other character remains.
std::optional<std::string> normalize(std::optional<std::string_view> text);

// `appName`, `title` and `bundleId` must already be normalised; at least one of
// `appName` and `title` is present.
WindowListEntry makeWindowListEntry(std::uint32_t windowID, const std::optional<std::string>& appName,
                                    const std::optional<std::string>& title,
                                    const std::optional<std::string>& bundleId, const platform::Rect& frame,
                                    std::optional<std::uint32_t> displayID);

// Stable sort: grouped by application name (else name) under a localised case-insensitive
// comparison; within one application (exactly the same name) by title, likewise.
void orderWindowListEntries(std::vector<WindowListEntry>& entries);

// The compact JSON array with sorted keys and no line feed after it. Throws
// common::JsonEncodeError when a coordinate is not finite.
std::string encodeWindowList(const std::vector<WindowListEntry>& entries);

}  // namespace kelvane::windows
