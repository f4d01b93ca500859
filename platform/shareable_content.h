#pragma once
// The displays and windows a user may record, as the display server reports them at the
// moment of the query.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/result.h"

namespace kelvane::platform {

struct RunningApplication {
    std::optional<std::string> applicationName;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::int32_t> processID;
};

struct ShareableWindow {
    std::uint32_t windowID = 0;
    std::optional<std::string> title;
    // Position and size in the global display space.
    Rect frame;
    // Stacking level: 0 for ordinary application windows, other values for docks, menus,
    // tooltips, desktop backgrounds and windows kept above the others.
    std::int64_t windowLayer = 0;
    std::optional<RunningApplication> owningApplication;
    // Shown on the current desktop and not minimised.
    bool isOnScreen = true;
};

struct ShareableDisplay {
    std::uint32_t displayID = 0;
    // Bounds in the global display space, in points.
    Rect frame;
    // Size of the display's current mode in pixels; pixels per point is their ratio to
    // the frame's size.
    std::uint32_t pixelWidth = 0;
    std::uint32_t pixelHeight = 0;
};

struct ShareableContentSnapshot {
    // Front to back.
    std::vector<ShareableWindow> windows;
    // Windows that still exist although their application has taken them off the screen
    // altogether (withdrawn, as an application hiding in the tray does): not offered for
    // recording, yet a recording of one goes on until it is destroyed. Only answers that
    // include off-screen windows have them.
    std::vector<ShareableWindow> withdrawnWindows;
    // In the display server's own order.
    std::vector<ShareableDisplay> displays;
    // The main display (the primary one, else the first); none only when there is no display.
    std::optional<std::uint32_t> mainDisplayID;
};

// The window with this number, shown or withdrawn; none when no such window exists.
inline const ShareableWindow* findWindow(const ShareableContentSnapshot& content, std::uint32_t windowID) {
    for (const auto* list : {&content.windows, &content.withdrawnWindows}) {
        for (const ShareableWindow& window : *list) {
            if (window.windowID == windowID) return &window;
        }
    }
    return nullptr;
}

// The snapshot, or why the query failed in words fit to show to the user.
using ShareableContentResult = Result<ShareableContentSnapshot>;
using ShareableContentHandler = std::function<void(ShareableContentResult)>;

class ShareableContent {
public:
    virtual ~ShareableContent() = default;

    // Asks for the current displays and windows and calls `completion` exactly once with
    // them or with an error; it may be called before this returns or later on another
    // thread. `excludingDesktopWindows` leaves out desktop background windows;
    // `onScreenWindowsOnly` leaves out minimised windows and those of other desktops.
    virtual void getShareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                                     ShareableContentHandler completion) = 0;
};

// The backend for this platform; it connects to the display server on each query.
std::unique_ptr<ShareableContent> makeShareableContent();

}  // namespace kelvane::platform
