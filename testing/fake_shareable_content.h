#pragma once
// A shareable-content source for tests: answers every query with the result it was
// given and remembers the flags of each query.
#include <utility>
#include <vector>

#include "platform/shareable_content.h"

namespace kelvane::testing {

class FakeShareableContent final : public platform::ShareableContent {
public:
    struct Query {
        bool excludingDesktopWindows;
        bool onScreenWindowsOnly;
    };

    explicit FakeShareableContent(platform::ShareableContentResult answer = platform::ShareableContentSnapshot{})
        : answer_(std::move(answer)) {}

    void setAnswer(platform::ShareableContentResult answer) { answer_ = std::move(answer); }

    void getShareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                             platform::ShareableContentHandler completion) override {
        queries_.push_back(Query{excludingDesktopWindows, onScreenWindowsOnly});
        completion(answer_);
    }

    const std::vector<Query>& queries() const { return queries_; }

private:
    platform::ShareableContentResult answer_;
    std::vector<Query> queries_;
};

// Builders that keep test tables short.
inline platform::ShareableWindow fakeWindow(std::uint32_t id, std::optional<std::string> title,
                                            std::optional<std::string> applicationName,
                                            std::optional<std::string> bundleIdentifier,
                                            platform::Rect frame = {0, 0, 800, 600}, std::int64_t layer = 0) {
    platform::ShareableWindow window;
    window.windowID = id;
    window.title = std::move(title);
    window.frame = frame;
    window.windowLayer = layer;
    if (applicationName || bundleIdentifier) {
        window.owningApplication = platform::RunningApplication{std::move(applicationName),
                                                                std::move(bundleIdentifier), std::nullopt};
    }
    return window;
}

inline platform::ShareableDisplay fakeDisplay(std::uint32_t id, platform::Rect frame) {
    return platform::ShareableDisplay{id, frame, static_cast<std::uint32_t>(frame.width),
                                      static_cast<std::uint32_t>(frame.height)};
}

}  // namespace kelvane::testing
