#pragma once
// Awaiting a shareable-content query from a coroutine: the coroutine resumes on its own
// executor, whichever thread the backend answers on.
#include <memory>
#include <utility>

#include "common/asio.h"
#include "platform/shareable_content.h"

namespace kelvane::platform {

inline asio::awaitable<ShareableContentResult> queryShareableContent(ShareableContent& content,
                                                                     bool excludingDesktopWindows,
                                                                     bool onScreenWindowsOnly) {
    auto initiation = [&content, excludingDesktopWindows, onScreenWindowsOnly](auto handler) {
        // The coroutine's handler can only be moved, the backend's callback must be copyable.
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        content.getShareableContent(excludingDesktopWindows, onScreenWindowsOnly,
                                    [shared](ShareableContentResult result) {
                                        auto executor = asio::get_associated_executor(*shared);
                                        asio::post(executor, [shared, result = std::move(result)]() mutable {
                                            (*shared)(std::move(result));
                                        });
                                    });
    };
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(ShareableContentResult)>(
        std::move(initiation), asio::use_awaitable);
}

}  // namespace kelvane::platform
