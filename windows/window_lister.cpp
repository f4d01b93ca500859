#include "windows/window_lister.h"

#include <algorithm>
#include <vector>

#include "common/json_writer.h"
#include "platform/shareable_content_query.h"

namespace kelvane::windows {

namespace {

constexpr std::string_view kErrorPrefix = "Error listing windows: ";

ListingOutcome failure(std::string_view description) {
    return ListingOutcome{.document = std::nullopt, .errorLine = std::string(kErrorPrefix) + std::string(description)};
}

}  // namespace

bool wantsAllSpaces(std::span<const std::string_view> arguments) {
    return std::ranges::find(arguments, std::string_view("--all-spaces")) != arguments.end();
}

ListingOutcome listWindows(const platform::ShareableContentResult& content, const ExclusionTables& tables) {
    if (!content) return failure(content.error().message);
    const platform::ShareableContentSnapshot& snapshot = content.value();

    std::vector<RawWindowEntry> candidates;
    for (const platform::ShareableWindow& window : snapshot.windows) {
        if (auto candidate = makeRawWindowEntry(window, snapshot.displays, tables)) {
            candidates.push_back(std::move(*candidate));
        }
    }
    std::vector<WindowListEntry> entries = keepTitledWindows(std::move(candidates));
    orderWindowListEntries(entries);
    try {
        return ListingOutcome{.document = encodeWindowList(entries), .errorLine = std::nullopt};
    } catch (const common::JsonEncodeError& error) {
        return failure(error.what());
    }
}

asio::awaitable<ListingOutcome> listingWork(platform::ShareableContent& content, bool onScreenWindowsOnly,
                                            const ExclusionTables& tables) {
    try {
        const platform::ShareableContentResult answer =
            co_await platform::queryShareableContent(content, /*excludingDesktopWindows=*/false, onScreenWindowsOnly);
        co_return listWindows(answer, tables);
    } catch (const std::exception& error) {
        // Whatever goes wrong is reported like a failed query rather than ending the
        // process without a word.
        co_return failure(error.what());
    }
}

}  // namespace kelvane::windows
