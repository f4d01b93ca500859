// Capture streams on this system: X11 for the picture, Pulse for the sound. The
// microphone can be captured whenever a Pulse server answers.
#include <type_traits>
#include <variant>

#include "platform/linux/pulse/pulse_server_watch.h"
#include "platform/linux/x11/x11_capture_stream.h"

namespace kelvane::platform {
namespace {

class X11CaptureStreams final : public CaptureStreams {
public:
    bool supportsMicrophoneCapture() const override { return pulse::pulseServerReachable(); }

    std::unique_ptr<CaptureStream> makeStream(const ContentFilter& filter, const StreamConfiguration& configuration,
                                              std::weak_ptr<CaptureStreamDelegate> delegate) override {
        const x11::CaptureSource source = std::visit(
            [](const auto& content) -> x11::CaptureSource {
                if constexpr (std::is_same_v<std::decay_t<decltype(content)>, WindowContentFilter>) {
                    return x11::WindowSource{static_cast<xcb_window_t>(content.window.windowID)};
                } else {
                    return x11::DisplayArea{content.display.frame};
                }
            },
            filter);
        return std::make_unique<x11::X11CaptureStream>(source, configuration, std::move(delegate));
    }
};

}  // namespace

std::unique_ptr<CaptureStreams> makeCaptureStreams() { return std::make_unique<X11CaptureStreams>(); }

}  // namespace kelvane::platform
