// Capture streams on X11: pictures read from the X server, Pulse for the sound. The
// microphone can be captured whenever a Pulse server answers.
#include <type_traits>
#include <variant>

#include "platform/linux/capture/paced_capture_stream.h"
#include "platform/linux/pulse/pulse_server_watch.h"
#include "platform/linux/x11/x11_capture_streams.h"
#include "platform/linux/x11/x_image_grabber.h"

namespace kelvane::platform::x11 {
namespace {

// X pictures are read when asked, so the time a picture shows is the time it was read.
class XFrameSource final : public capture::FrameSource {
public:
    explicit XFrameSource(CaptureSource source) : grabber_(source) {}

    void beginCapturing(int stopFd) override { grabber_.waitWithoutLimitUntil(stopFd); }
    bool waitForChange(std::chrono::steady_clock::time_point deadline, int wakeFd) override {
        return grabber_.waitForDamage(deadline, wakeFd);
    }
    std::optional<capture::SourceFrame> grab(bool whole) override {
        auto image = grabber_.grab(whole);
        if (!image) return std::nullopt;
        return capture::SourceFrame{*image, std::nullopt, grabber_.lastRead()};
    }

private:
    XImageGrabber grabber_;
};

class X11CaptureStreams final : public CaptureStreams {
public:
    bool supportsMicrophoneCapture() const override { return pulse::pulseServerReachable(); }

    Result<std::unique_ptr<CaptureStream>> makeStream(const ContentFilter& filter,
                                                      const StreamConfiguration& configuration,
                                                      std::weak_ptr<CaptureStreamDelegate> delegate) override {
        const CaptureSource source = std::visit(
            [](const auto& content) -> CaptureSource {
                if constexpr (std::is_same_v<std::decay_t<decltype(content)>, WindowContentFilter>) {
                    return WindowSource{static_cast<xcb_window_t>(content.window.windowID)};
                } else {
                    return DisplayArea{content.display.frame};
                }
            },
            filter);
        return capture::makePacedCaptureStream([source] { return std::make_unique<XFrameSource>(source); },
                                               configuration, std::move(delegate));
    }
};

}  // namespace

std::unique_ptr<CaptureStreams> makeX11CaptureStreams() { return std::make_unique<X11CaptureStreams>(); }

}  // namespace kelvane::platform::x11
