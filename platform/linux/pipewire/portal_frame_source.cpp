#include "platform/linux/pipewire/portal_frame_source.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/linux/capture/capture_stream_error.h"
#include "platform/linux/pipewire/content_snapshot.h"
#include "platform/linux/pipewire/portal_stream_choice.h"
#include "platform/linux/pipewire/restore_tokens.h"
#include "platform/linux/wayland/output_still.h"
#include "platform/linux/x11/poll_until.h"

namespace kelvane::platform::pipewire {
namespace {

using namespace std::chrono_literals;

// How often a recorded window's frame is looked up again.
constexpr auto windowCheckInterval = 250ms;
constexpr auto windowQueryTimeout = 2s;
// How long the compositor may take to copy the picture shown before the stream's first.
constexpr auto stillGrabLimit = 1s;

void signal(int fd) {
    const std::uint64_t one = 1;
    if (write(fd, &one, sizeof one) < 0) {
        // Only a full counter fails, and then the reader is woken already.
    }
}

void drain(int fd) {
    std::uint64_t count = 0;
    while (read(fd, &count, sizeof count) > 0) {
    }
}

// The window's frame now; nothing when it is gone. A query that fails or takes too long
// keeps the frame known before.
std::optional<Rect> lookUpWindow(ShareableContent& content, std::uint32_t windowID, std::optional<Rect> known) {
    const auto listing = contentSnapshot(content, windowQueryTimeout);
    if (!listing) return known;
    for (const auto& window : listing->windows) {
        if (window.windowID == windowID) return window.frame;
    }
    return std::nullopt;
}

}  // namespace

PortalFrameSource::PortalFrameSource(const ShareableDisplay& display, std::optional<std::uint32_t> windowID,
                                     std::unique_ptr<ShareableContent> content, int framesPerSecond)
    : display_(display), windowID_(windowID), content_(std::move(content)) {
    changeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (changeFd_ < 0) throw capture::CaptureStreamError("Cannot make the screen cast's wake-up channel");
    try {
        if (windowID_) {
            windowFrame_ = lookUpWindow(*content_, *windowID_, std::nullopt);
            nextWindowCheck_ = std::chrono::steady_clock::now() + windowCheckInterval;
        }
        openSession(display, framesPerSecond);
        showStillUntilFirstBuffer();
    } catch (...) {
        video_.reset();
        session_.reset();
        close(changeFd_);
        throw;
    }
}

PortalFrameSource::~PortalFrameSource() {
    video_.reset();
    session_.reset();
    close(changeFd_);
}

void PortalFrameSource::openSession(const ShareableDisplay& display, int framesPerSecond) {
    const auto onEnded = [this](const std::string& description) { failed(description); };
    ScreenCastRequest request;
    request.restoreToken = loadRestoreToken(display.displayID);
    try {
        session_ = std::make_unique<ScreenCastSession>(request, onEnded);
        auto stream = streamShowing(display, session_->streams());
        if (!stream && request.restoreToken) {
            // The kept choice is of another display (the layout changed): ask again.
            session_.reset();
            storeRestoreToken(display.displayID, "");
            request.restoreToken.reset();
            session_ = std::make_unique<ScreenCastSession>(request, onEnded);
            stream = streamShowing(display, session_->streams());
        }
        if (!stream) throw capture::CaptureStreamError("The screen cast the desktop offers does not show the display asked for");
        if (const auto& token = session_->restoreToken()) storeRestoreToken(display.displayID, *token);
        video_ = std::make_unique<PipeWireVideo>(
            session_->takePipeWireFd(), stream->nodeId, framesPerSecond,
            [this](const VideoBuffer& buffer) { received(buffer); },
            [this](const std::string& description) { failed(description); });
    } catch (const ScreenCastFailed& error) {
        throw capture::CaptureStreamError(error.what());
    }
}

void PortalFrameSource::showStillUntilFirstBuffer() {
    auto still = wayland::grabOutputStill(display_.displayID, stillGrabLimit);
    if (!still) return;
    {
        std::lock_guard lock(mutex_);
        // A buffer of the stream's own that came meanwhile is as new.
        if (pictureBounds_.width > 0) return;
        picture_.apply({still->pixels.data(), still->width, still->height, still->stride}, std::nullopt);
        pictureBounds_ = {0, 0, still->width, still->height};
    }
    signal(changeFd_);
}

void PortalFrameSource::received(const VideoBuffer& buffer) {
    {
        std::lock_guard lock(mutex_);
        if (!picture_.apply(buffer.pixels, buffer.damage)) return;
        pictureBounds_ = {0, 0, buffer.pixels.width, buffer.pixels.height};
        if (buffer.presentedNs) presentedNs_ = buffer.presentedNs;
    }
    signal(changeFd_);
}

void PortalFrameSource::failed(const std::string& description) {
    {
        std::lock_guard lock(mutex_);
        if (failure_) return;
        failure_ = description;
    }
    signal(changeFd_);
}

bool PortalFrameSource::followWindow(bool atOnce) {
    if (!windowID_ || (!atOnce && std::chrono::steady_clock::now() < nextWindowCheck_)) return false;
    nextWindowCheck_ = std::chrono::steady_clock::now() + windowCheckInterval;
    const auto before = areaInPicture();
    windowFrame_ = lookUpWindow(*content_, *windowID_, windowFrame_);
    return !(areaInPicture() == before);
}

PixelRect PortalFrameSource::areaInPicture() const {
    std::lock_guard lock(mutex_);
    if (!windowID_) return pictureBounds_;
    if (!windowFrame_) return {};
    return windowAreaInPicture(display_.frame, *windowFrame_, pictureBounds_);
}

bool PortalFrameSource::waitForChange(std::chrono::steady_clock::time_point deadline, int wakeFd) {
    for (;;) {
        if (followWindow(false)) return true;
        const PixelRect area = areaInPicture();
        bool damaged;
        {
            std::lock_guard lock(mutex_);
            if (failure_) throw capture::FrameSourceError(*failure_);
            damaged = area.width > 0 && picture_.damaged(area);
        }
        if (damaged) {
            // What changed there may be the window closing or moving away, which the
            // compositor's list already knows before the picture shows it: the frame
            // shows where the window is now, or nothing once it is gone.
            followWindow(true);
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        pollfd watched[2] = {{changeFd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        x11::pollUntil(watched, 2, windowID_ ? std::min(deadline, nextWindowCheck_) : deadline);
        drain(changeFd_);
        if (watched[1].revents != 0) return false;
    }
}

std::optional<capture::SourceFrame> PortalFrameSource::grab(bool whole) {
    const PixelRect wanted = areaInPicture();
    std::optional<std::int64_t> presentedNs;
    std::optional<std::vector<PixelRect>> copied;
    PixelRect bounds;
    {
        std::lock_guard lock(mutex_);
        if (failure_) throw capture::FrameSourceError(*failure_);
        bounds = picture_.readInto(shown_, whole);
        copied = picture_.lastCopied();
        presentedNs = presentedNs_;
    }
    // The picture may have changed size since the area was worked out.
    const PixelRect area = intersection(wanted, bounds);
    const bool sameArea = area == lastArea_;
    lastArea_ = area;
    if (area.width <= 0 || area.height <= 0) return std::nullopt;
    const std::size_t offset = (static_cast<std::size_t>(area.y) * bounds.width + area.x) * 4;
    capture::SourceFrame frame{x11::SourceImage{shown_.data() + offset, area.width, area.height, bounds.width * 4, true},
                               presentedNs, std::nullopt};
    // What changed in the area, in its own pixels, when the area is where it was before.
    if (copied && sameArea) {
        frame.changed.emplace();
        for (const PixelRect& rect : *copied) {
            const PixelRect inArea = intersection(rect, area);
            if (inArea.width <= 0 || inArea.height <= 0) continue;
            frame.changed->push_back({inArea.x - area.x, inArea.y - area.y, inArea.width, inArea.height});
        }
    }
    return frame;
}

}  // namespace kelvane::platform::pipewire
