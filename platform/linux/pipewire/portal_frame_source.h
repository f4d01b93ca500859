#pragma once
// Pictures of one display, or of one window cut out of its display, from the desktop
// portal's screen cast of that display. The portal session and its PipeWire stream last
// as long as the source. The portal is asked for the display's stream with the restore
// token kept from its last recording; a token that restores another display is dropped
// and the user asked again.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/capture/frame_source.h"
#include "platform/linux/pipewire/damaged_picture.h"
#include "platform/linux/pipewire/pipewire_video.h"
#include "platform/linux/pipewire/screencast_portal.h"
#include "platform/shareable_content.h"

namespace kelvane::platform::pipewire {

class PortalFrameSource final : public capture::FrameSource {
public:
    // Records `display`, or only the window `windowID` on it, which is followed as it moves
    // and resizes (its frame looked up in `content`). Throws CaptureStreamError, or
    // ScreenCastRefused when the user declines.
    PortalFrameSource(const ShareableDisplay& display, std::optional<std::uint32_t> windowID,
                      std::unique_ptr<ShareableContent> content, int framesPerSecond);
    ~PortalFrameSource() override;

    bool waitForChange(std::chrono::steady_clock::time_point deadline, int wakeFd) override;
    std::optional<capture::SourceFrame> grab(bool whole) override;

private:
    void openSession(const ShareableDisplay& display, int framesPerSecond);
    // The portal may send nothing until the screen changes (the wlroots one does so from
    // its second screen cast on), which leaves a still screen unrecorded: the picture the
    // compositor shows now, where it can tell, stands in until the stream's first buffer.
    void showStillUntilFirstBuffer();
    void received(const VideoBuffer& buffer);
    void failed(const std::string& description);
    // Looks the window up again when it is time (or `atOnce`); true when its area in the
    // picture moved.
    bool followWindow(bool atOnce);
    // The recorded part of the picture, in picture pixels (empty while there is none).
    PixelRect areaInPicture() const;

    ShareableDisplay display_;
    std::optional<std::uint32_t> windowID_;
    std::unique_ptr<ShareableContent> content_;
    std::optional<Rect> windowFrame_;
    std::chrono::steady_clock::time_point nextWindowCheck_{};
    // Readable while a buffer or a failure is waiting to be noticed.
    int changeFd_ = -1;

    mutable std::mutex mutex_;
    DamagedPicture picture_;
    PixelRect pictureBounds_;
    std::optional<std::int64_t> presentedNs_;
    std::optional<std::string> failure_;

    std::vector<std::uint8_t> shown_;
    // Where the last frame grabbed lay in the picture.
    PixelRect lastArea_;
    std::unique_ptr<ScreenCastSession> session_;
    std::unique_ptr<PipeWireVideo> video_;
};

}  // namespace kelvane::platform::pipewire
