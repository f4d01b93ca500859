#include "platform/linux/pipewire/portal_capture_streams.h"

#include <cmath>

#include "platform/linux/capture/paced_capture_stream.h"
#include "platform/linux/pipewire/content_snapshot.h"
#include "platform/linux/pipewire/portal_frame_source.h"
#include "platform/linux/pulse/pulse_server_watch.h"

namespace kelvane::platform::pipewire {
namespace {

int framesPerSecond(const MediaTime& interval) {
    return interval.isValid() && interval.seconds() > 0 ? static_cast<int>(std::lround(1 / interval.seconds())) : 60;
}

// The display that shows most of the window now (the first when none does).
std::optional<ShareableDisplay> displayOfWindow(ShareableContent& content, const ShareableWindow& window) {
    const auto snapshot = contentSnapshot(content, std::chrono::seconds(5));
    if (!snapshot || snapshot->displays.empty()) return std::nullopt;
    const auto overlap = [&](const ShareableDisplay& display) {
        const double w = std::min(maxX(display.frame), maxX(window.frame)) - std::max(minX(display.frame), minX(window.frame));
        const double h = std::min(maxY(display.frame), maxY(window.frame)) - std::max(minY(display.frame), minY(window.frame));
        return w > 0 && h > 0 ? w * h : 0.0;
    };
    const ShareableDisplay* best = &snapshot->displays.front();
    for (const auto& display : snapshot->displays) {
        if (overlap(display) > overlap(*best)) best = &display;
    }
    return *best;
}

class PortalCaptureStreams final : public CaptureStreams {
public:
    explicit PortalCaptureStreams(ShareableContentMaker makeContent) : makeContent_(std::move(makeContent)) {}

    bool supportsMicrophoneCapture() const override { return pulse::pulseServerReachable(); }

    Result<std::unique_ptr<CaptureStream>> makeStream(const ContentFilter& filter,
                                                      const StreamConfiguration& configuration,
                                                      std::weak_ptr<CaptureStreamDelegate> delegate) override {
        const int fps = framesPerSecond(configuration.minimumFrameInterval);
        capture::FrameSourceOpener open;
        if (const auto* window = std::get_if<WindowContentFilter>(&filter)) {
            open = [window = window->window, fps, makeContent = makeContent_]() -> std::unique_ptr<capture::FrameSource> {
                auto content = makeContent();
                const auto display = displayOfWindow(*content, window);
                if (!display) throw capture::CaptureStreamError("No display shows the window");
                return std::make_unique<PortalFrameSource>(*display, window.windowID, std::move(content), fps);
            };
        } else {
            open = [display = std::get<DisplayContentFilter>(filter).display, fps] {
                return std::make_unique<PortalFrameSource>(display, std::nullopt, nullptr, fps);
            };
        }
        return capture::makePacedCaptureStream(std::move(open), configuration, std::move(delegate));
    }

private:
    ShareableContentMaker makeContent_;
};

class PortalPermissions final : public Permissions {
public:
    bool preflightScreenCaptureAccess() override { return screenCastPortalReachable(); }
    bool requestScreenCaptureAccess() override { return screenCastPortalReachable(); }
    MicrophoneAuthorization microphoneAuthorizationStatus() override { return MicrophoneAuthorization::authorized; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override { completion(true); }
};

}  // namespace

std::unique_ptr<CaptureStreams> makePortalCaptureStreams(ShareableContentMaker makeContent) {
    return std::make_unique<PortalCaptureStreams>(std::move(makeContent));
}

std::unique_ptr<Permissions> makePortalPermissions() { return std::make_unique<PortalPermissions>(); }

}  // namespace kelvane::platform::pipewire
