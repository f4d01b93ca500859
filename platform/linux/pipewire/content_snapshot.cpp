#include "platform/linux/pipewire/content_snapshot.h"

#include <future>
#include <memory>

namespace kelvane::platform::pipewire {

std::optional<ShareableContentSnapshot> contentSnapshot(ShareableContent& content, std::chrono::milliseconds timeout) {
    // Shared with the completion, which may still run after a time-out.
    auto answer = std::make_shared<std::promise<ShareableContentResult>>();
    auto result = answer->get_future();
    content.getShareableContent(false, false, [answer](ShareableContentResult found) {
        answer->set_value(std::move(found));
    });
    if (result.wait_for(timeout) != std::future_status::ready) return std::nullopt;
    auto found = result.get();
    if (found) return std::move(found).value();
    return std::nullopt;
}

}  // namespace kelvane::platform::pipewire
