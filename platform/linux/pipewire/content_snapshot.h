#pragma once
// The displays and windows listed now, waited for a bounded time: a window recording
// must not hang on a compositor that does not answer.
#include <chrono>
#include <optional>

#include "platform/shareable_content.h"

namespace kelvane::platform::pipewire {

// All windows, on screen or not; nothing when the query failed or took longer than `timeout`.
std::optional<ShareableContentSnapshot> contentSnapshot(ShareableContent& content, std::chrono::milliseconds timeout);

}  // namespace kelvane::platform::pipewire
