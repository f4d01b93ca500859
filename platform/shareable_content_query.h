#pragma once
// Awaiting a shareable-content query from a coroutine: the coroutine resumes on its own
// executor, whichever thread the backend answers on. A backend that throws instead of
// answering resumes it with the exception's message as the error.
#include <exception>

#include "common/asio.h"
#include "common/completion_bridge.h"
#include "platform/shareable_content.h"

namespace kelvane::platform {

inline asio::awaitable<ShareableContentResult> queryShareableContent(ShareableContent& content,
                                                                     bool excludingDesktopWindows,
                                                                     bool onScreenWindowsOnly) {
    try {
        co_return co_await common::awaitCompletion<ShareableContentResult>(
            [&content, excludingDesktopWindows, onScreenWindowsOnly](auto answer) {
                content.getShareableContent(excludingDesktopWindows, onScreenWindowsOnly, std::move(answer));
            });
    } catch (const std::exception& error) {
        co_return ShareableContentError{error.what()};
    }
}

}  // namespace kelvane::platform
