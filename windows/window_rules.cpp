#include "windows/window_rules.h"

#include <map>
#include <utility>

namespace kelvane::windows {

namespace {

constexpr double kMinimumSide = 50;

}  // namespace

ExclusionTables makeExclusionTables() {
    return ExclusionTables{
        .excludedBundleIds = {"com.apple.controlcenter", "com.apple.dock", "com.apple.WindowManager",
                              "com.apple.wallpaper.agent"},
        .excludedWindowTitles = {"Display 1 Backstop", "Event Shield Window", "Menubar",
                                 "Offscreen Wallpaper Window", "Wallpaper-"},
    };
}

std::optional<std::uint32_t> assignDisplay(const platform::Rect& frame,
                                           const std::vector<platform::ShareableDisplay>& displays) {
    const platform::Point centre{platform::midX(frame), platform::midY(frame)};
    for (const platform::ShareableDisplay& display : displays) {
        if (platform::intersects(display.frame, frame) || platform::contains(display.frame, centre)) {
            return display.displayID;
        }
    }
    return std::nullopt;
}

std::optional<RawWindowEntry> makeRawWindowEntry(const platform::ShareableWindow& window,
                                                 const std::vector<platform::ShareableDisplay>& displays,
                                                 const ExclusionTables& tables) {
    std::optional<std::string> appName;
    std::optional<std::string> bundleId;
    if (window.owningApplication) {
        appName = normalize(window.owningApplication->applicationName);
        bundleId = normalize(window.owningApplication->bundleIdentifier);
    }
    std::optional<std::string> title = normalize(window.title);

    if (window.windowLayer != 0) return std::nullopt;
    // Written so that a NaN side fails too.
    if (!(platform::width(window.frame) >= kMinimumSide && platform::height(window.frame) >= kMinimumSide)) {
        return std::nullopt;
    }
    if (!appName && !title) return std::nullopt;
    if (bundleId && tables.excludedBundleIds.contains(*bundleId)) return std::nullopt;
    if (title && tables.excludedWindowTitles.contains(*title)) return std::nullopt;

    const std::optional<std::uint32_t> displayID = assignDisplay(window.frame, displays);
    RawWindowEntry raw;
    raw.entry = makeWindowListEntry(window.windowID, appName, title, bundleId, window.frame, displayID);
    raw.hasRawTitle = title.has_value();
    raw.bundleId = std::move(bundleId);
    return raw;
}

std::vector<WindowListEntry> keepTitledWindows(std::vector<RawWindowEntry> candidates) {
    std::map<std::string, long> titledCount;
    for (const RawWindowEntry& candidate : candidates) {
        if (candidate.bundleId && candidate.hasRawTitle) ++titledCount[*candidate.bundleId];
    }
    std::vector<WindowListEntry> kept;
    kept.reserve(candidates.size());
    for (RawWindowEntry& candidate : candidates) {
        const auto titled = candidate.bundleId ? titledCount.find(*candidate.bundleId) : titledCount.end();
        const bool untitledSibling = !candidate.hasRawTitle && titled != titledCount.end() && titled->second >= 1;
        if (!untitledSibling) kept.push_back(std::move(candidate.entry));
    }
    return kept;
}

}  // namespace kelvane::windows
