// Display geometry from the shareable-content query: on X11 pixels equal points, so a
// display's mode is its monitor size and its bounds are its monitor rectangle.
#include <future>

#include "platform/display_mode.h"
#include "platform/shareable_content.h"

namespace kelvane::platform {
namespace {

class DisplayModesFromContent final : public DisplayModes {
public:
    std::uint32_t mainDisplayID() override {
        const auto snapshot = query();
        return snapshot && snapshot->mainDisplayID ? *snapshot->mainDisplayID : 0;
    }

    Rect displayBounds(std::uint32_t displayID) override {
        const auto display = find(displayID);
        return display ? display->frame : Rect{};
    }

    std::optional<DisplayMode> currentMode(std::uint32_t displayID) override {
        const auto display = find(displayID);
        if (!display) return std::nullopt;
        return DisplayMode{display->pixelWidth, display->pixelHeight, static_cast<std::uint32_t>(width(display->frame)),
                           static_cast<std::uint32_t>(height(display->frame))};
    }

private:
    std::optional<ShareableContentSnapshot> query() {
        std::promise<ShareableContentResult> answer;
        content_->getShareableContent(true, true, [&answer](ShareableContentResult result) {
            answer.set_value(std::move(result));
        });
        auto result = answer.get_future().get();
        if (result) return std::move(result).value();
        return std::nullopt;
    }

    std::optional<ShareableDisplay> find(std::uint32_t displayID) {
        const auto snapshot = query();
        if (!snapshot) return std::nullopt;
        for (const auto& display : snapshot->displays) {
            if (display.displayID == displayID) return display;
        }
        return std::nullopt;
    }

    std::unique_ptr<ShareableContent> content_ = makeShareableContent();
};

}  // namespace

std::unique_ptr<DisplayModes> makeDisplayModes() { return std::make_unique<DisplayModesFromContent>(); }

}  // namespace kelvane::platform
