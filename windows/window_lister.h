#pragma once
// The listing work of kelvane-windows: from the command line and the platform's answer
// to the bytes for standard output, or to the line for standard error.
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/asio.h"
#include "platform/shareable_content.h"
#include "windows/window_rules.h"

namespace kelvane::windows {

// True when any argument is exactly "--all-spaces".
bool wantsAllSpaces(std::span<const std::string_view> arguments);

struct ListingOutcome {
    // The JSON document on success.
    std::optional<std::string> document;
    // "Error listing windows: " and the reason, without the line feed, on failure.
    std::optional<std::string> errorLine;
};

// From the platform's answer to the outcome: rules, titled-window filter, order, encoding.
ListingOutcome listWindows(const platform::ShareableContentResult& content, const ExclusionTables& tables);

// Queries `content` (desktop windows included; only on-screen windows unless asked for
// all spaces) and lists the answer.
asio::awaitable<ListingOutcome> listingWork(platform::ShareableContent& content, bool onScreenWindowsOnly,
                                            const ExclusionTables& tables);

}  // namespace kelvane::windows
