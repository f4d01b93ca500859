#include "platform/linux/wayland/wayland_shareable_content.h"

#include <algorithm>
#include <cstdlib>

#include "platform/linux/result_of.h"
#include "platform/linux/wayland/foreign_toplevels.h"
#include "platform/linux/wayland/sway_ipc.h"
#include "platform/linux/wayland/sway_tree_windows.h"
#include "platform/linux/wayland/wayland_connection.h"
#include "platform/linux/wayland/wayland_outputs.h"
#include "platform/linux/x11/window_properties.h"
#include "platform/linux/x11/x11_shareable_content.h"

namespace kelvane::platform::wayland {

namespace {

// Xwayland's windows, in root coordinates, which Xwayland lays over the compositor's
// global space.
std::vector<ShareableWindow> xwaylandWindows(bool excludingDesktopWindows, bool onScreenWindowsOnly) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return {};
    std::vector<ShareableWindow> windows;
    x11::makeX11ShareableContent()->getShareableContent(
        excludingDesktopWindows, onScreenWindowsOnly, [&windows](ShareableContentResult result) {
            if (result) windows = std::move(result->windows);
        });
    return windows;
}

std::vector<ShareableWindow> compositorWindows(const WaylandConnection& connection, const BoundOutputs& outputs,
                                               const std::vector<ShareableDisplay>& displays,
                                               bool excludingDesktopWindows, bool onScreenWindowsOnly) {
    if (const auto tree = askSway(SwayRequest::getTree)) {
        if (auto windows = windowsFromSwayTree(*tree, x11::procCommandName)) return std::move(*windows);
    }
    if (const auto toplevels = readToplevels(connection, outputs)) return windowsFromToplevels(*toplevels, displays);
    return xwaylandWindows(excludingDesktopWindows, onScreenWindowsOnly);
}

class WaylandShareableContent final : public ShareableContent {
public:
    void getShareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                             ShareableContentHandler completion) override {
        completion(resultOf<WaylandError, ShareableContentSnapshot>(
            [&] { return snapshot(excludingDesktopWindows, onScreenWindowsOnly); }));
    }

private:
    static ShareableContentSnapshot snapshot(bool excludingDesktopWindows, bool onScreenWindowsOnly) {
        const WaylandConnection connection;
        ShareableContentSnapshot snapshot;
        const BoundOutputs outputs(connection);
        snapshot.displays = displaysFromOutputs(outputs.infos());
        if (!snapshot.displays.empty()) snapshot.mainDisplayID = snapshot.displays.front().displayID;
        snapshot.windows =
            compositorWindows(connection, outputs, snapshot.displays, excludingDesktopWindows, onScreenWindowsOnly);
        if (onScreenWindowsOnly) {
            std::erase_if(snapshot.windows, [](const ShareableWindow& window) { return !window.isOnScreen; });
        }
        return snapshot;
    }
};

}  // namespace

std::unique_ptr<ShareableContent> makeWaylandShareableContent() { return std::make_unique<WaylandShareableContent>(); }

}  // namespace kelvane::platform::wayland
