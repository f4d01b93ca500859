#include "windows/window_list_entry.h"

#include <cstddef>
#include <utility>

#include "common/json_writer.h"
#include "common/unicode_text.h"

namespace kelvane::windows {

namespace {

constexpr std::string_view kNameSeparator = " \xE2\x80\x94 ";  // space, em dash, space

const std::string& groupingKey(const WindowListEntry& entry) { return entry.appName ? *entry.appName : entry.name; }

const std::string& titleKey(const WindowListEntry& entry) {
    return entry.windowTitle ? *entry.windowTitle : entry.name;
}

bool comesBefore(const WindowListEntry& a, const WindowListEntry& b) {
    const std::string& groupA = groupingKey(a);
    const std::string& groupB = groupingKey(b);
    if (common::canonicallyEqual(groupA, groupB)) {
        return common::localizedCaseInsensitiveCompare(titleKey(a), titleKey(b)) < 0;
    }
    return common::localizedCaseInsensitiveCompare(groupA, groupB) < 0;
}

// A bottom-up merge sort that takes the right element only when it strictly comes
// first, so equal entries keep their order. The ordering rule is not a strict weak
// order (Notes and notes group together yet compare titles only with their own kind),
// and the library sorts may step out of range for such a rule; this one only ever
// reads inside its runs, whatever the rule answers.
void stableMergeSort(std::vector<WindowListEntry>& entries) {
    const std::size_t count = entries.size();
    std::vector<WindowListEntry> buffer(count);
    for (std::size_t run = 1; run < count; run *= 2) {
        for (std::size_t left = 0; left < count; left += 2 * run) {
            const std::size_t middle = std::min(left + run, count);
            const std::size_t right = std::min(left + 2 * run, count);
            std::size_t i = left;
            std::size_t j = middle;
            std::size_t out = left;
            while (i < middle && j < right) {
                buffer[out++] = comesBefore(entries[j], entries[i]) ? std::move(entries[j++]) : std::move(entries[i++]);
            }
            while (i < middle) buffer[out++] = std::move(entries[i++]);
            while (j < right) buffer[out++] = std::move(entries[j++]);
        }
        entries.swap(buffer);
    }
}

void writeEntry(common::JsonWriter& json, const WindowListEntry& entry) {
    json.beginObject();
    if (entry.appName) json.key("appName").string(*entry.appName);
    if (entry.bundleId) json.key("bundleId").string(*entry.bundleId);
    json.key("display_id").string(entry.display_id);
    json.key("height").number(entry.height);
    json.key("id").string(entry.id);
    json.key("name").string(entry.name);
    json.key("width").number(entry.width);
    if (entry.windowTitle) json.key("windowTitle").string(*entry.windowTitle);
    json.key("x").number(entry.x);
    json.key("y").number(entry.y);
    json.endObject();
}

}  // namespace

std::optional<std::string> normalize(std::optional<std::string_view> text) {
    if (!text) return std::nullopt;
    return common::trimmedText(*text);
}

WindowListEntry makeWindowListEntry(std::uint32_t windowID, const std::optional<std::string>& appName,
                                    const std::optional<std::string>& title,
                                    const std::optional<std::string>& bundleId, const platform::Rect& frame,
                                    std::optional<std::uint32_t> displayID) {
    WindowListEntry entry;
    entry.id = "window:" + std::to_string(windowID) + ":0";
    if (appName && title) {
        entry.name = *appName + std::string(kNameSeparator) + *title;
    } else if (title) {
        entry.name = *title;
    } else if (appName) {
        entry.name = *appName;
    }
    entry.display_id = displayID ? std::to_string(*displayID) : std::string();
    entry.appName = appName;
    entry.windowTitle = title ? title : appName;
    entry.bundleId = bundleId;
    entry.x = frame.x;
    entry.y = frame.y;
    entry.width = platform::width(frame);
    entry.height = platform::height(frame);
    return entry;
}

void orderWindowListEntries(std::vector<WindowListEntry>& entries) { stableMergeSort(entries); }

std::string encodeWindowList(const std::vector<WindowListEntry>& entries) {
    common::JsonWriter json;
    json.beginArray();
    for (const WindowListEntry& entry : entries) writeEntry(json, entry);
    json.endArray();
    return json.take();
}

}  // namespace kelvane::windows
