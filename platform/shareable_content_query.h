#pragma once
// Awaiting a shareable-content query from a coroutine: the coroutine resumes on its own
// executor, whichever thread the backend answers on. A backend that throws instead of
// answering resumes it with the exception's message as the error.
#include <atomic>
#include <exception>
#include <memory>
#include <utility>

#include "common/asio.h"
#include "platform/shareable_content.h"

namespace kelvane::platform {

inline asio::awaitable<ShareableContentResult> queryShareableContent(ShareableContent& content,
                                                                     bool excludingDesktopWindows,
                                                                     bool onScreenWindowsOnly) {
    auto initiation = [&content, excludingDesktopWindows, onScreenWindowsOnly](auto handler) {
        // The coroutine's handler can only be moved and must run once; the backend's
        // callback must be copyable.
        struct Pending {
            decltype(handler) resume;
            std::atomic<bool> answered{false};
        };
        auto pending = std::make_shared<Pending>(std::move(handler));
        auto answer = [pending](ShareableContentResult result) {
            if (pending->answered.exchange(true)) return;
            auto executor = asio::get_associated_executor(pending->resume);
            asio::post(executor, [pending, result = std::move(result)]() mutable {
                pending->resume(std::move(result));
            });
        };
        try {
            content.getShareableContent(excludingDesktopWindows, onScreenWindowsOnly, answer);
        } catch (const std::exception& error) {
            answer(ShareableContentError{error.what()});
        }
    };
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(ShareableContentResult)>(
        std::move(initiation), asio::use_awaitable);
}

}  // namespace kelvane::platform
