#pragma once
// Which windows are worth offering for recording, and on which display each one lies.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/shareable_content.h"
#include "windows/window_list_entry.h"

namespace kelvane::windows {

// System surfaces that are never offered, by owning application and by window title.
// Matching is exact and case-sensitive on the whole normalised value.
struct ExclusionTables {
    std::set<std::string, std::less<>> excludedBundleIds;
    std::set<std::string, std::less<>> excludedWindowTitles;
};

ExclusionTables makeExclusionTables();

struct RawWindowEntry {
    WindowListEntry entry;
    // The window's own title survived normalisation (rather than falling back to the
    // application name).
    bool hasRawTitle = false;
    std::optional<std::string> bundleId;
};

// The first display whose frame intersects `frame` or contains its centre, in the
// order given; none when no display qualifies.
std::optional<std::uint32_t> assignDisplay(const platform::Rect& frame,
                                           const std::vector<platform::ShareableDisplay>& displays);

// Applies the per-window rules in order (layer, size, some name, bundle table, title
// table) and forms the entry; nothing when a rule drops the window.
std::optional<RawWindowEntry> makeRawWindowEntry(const platform::ShareableWindow& window,
                                                 const std::vector<platform::ShareableDisplay>& displays,
                                                 const ExclusionTables& tables);

// Drops an application's untitled windows as soon as the same application (by bundle
// identifier) has a titled one among the candidates; keeps the rest in order.
std::vector<WindowListEntry> keepTitledWindows(std::vector<RawWindowEntry> candidates);

}  // namespace kelvane::windows
