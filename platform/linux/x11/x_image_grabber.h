#pragma once
// Reads pixels of one display area or one window from the X server through shared
// memory, and tells whether anything there changed since the last look (XDamage).
//
// A display area is kept as a picture of its own, and only the box around what was
// drawn since the last read is read again: a caret blinking on a 1080p screen costs a
// few hundred pixels rather than 8 MB from the server.
//
// A window is read from its Composite pixmap, so what covers it on screen does not
// show; the pixmap is named again on every read, which follows resizes and re-maps. It
// is kept as a picture the same way, read whole again after it is mapped or resized.
#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "platform/geometry.h"
#include "platform/linux/x11/frame_fitting.h"
#include "platform/linux/x11/x_connection.h"

namespace kelvane::platform::x11 {

// A rectangle of the root window, in root coordinates.
struct DisplayArea {
    Rect frame;
};
struct WindowSource {
    xcb_window_t window = XCB_NONE;
};
using CaptureSource = std::variant<DisplayArea, WindowSource>;

class XImageGrabber {
public:
    // Connects to the display DISPLAY names. Throws XConnectionError when the server or
    // one of the extensions it needs (MIT-SHM, Damage, Composite for windows) is missing.
    explicit XImageGrabber(CaptureSource source);
    ~XImageGrabber();
    XImageGrabber(const XImageGrabber&) = delete;
    XImageGrabber& operator=(const XImageGrabber&) = delete;

    // True when the source was drawn to since the previous call. Throws XConnectionError
    // once the connection is lost.
    bool takeDamage();
    // Waits until the source is drawn to (true), `deadline` passes or `wakeFd` becomes
    // readable (false). Throws XConnectionError once the connection is lost.
    bool waitForDamage(std::chrono::steady_clock::time_point deadline, int wakeFd);

    // From now on, waits for the server have no time limit but end (XConnectionError) as
    // soon as `stopFd` becomes readable: a running capture waits out a slow server.
    void waitWithoutLimitUntil(int stopFd) { connection_.waitWithoutLimitUntil(stopFd); }

    // The current pixels, valid until the next grab; nothing when the window cannot be
    // read now (closed, unmapped). `whole` reads all of a display area again, whatever
    // the damage said. Throws XConnectionError once the connection is lost.
    std::optional<SourceImage> grab(bool whole);
    // The rectangles of the image the last grab read again, in its own pixels; nothing
    // when it read all of it.
    const std::optional<std::vector<FrameRect>>& lastRead() const { return lastRead_; }

private:
    struct Region {
        xcb_drawable_t drawable;
        int x, y, width, height;
    };
    // Reads `region` of its drawable into the shared segment at `offset`, in rows of its
    // own width; false when it cannot be read now.
    bool read(const Region& region, std::size_t offset);
    std::optional<SourceImage> grabDisplayArea(const DisplayArea& area, bool whole);
    // Brings the kept picture of `area` of its drawable up to date with the damaged boxes
    // (in the area's coordinates), or wholly; `readOffset` is where the area's coordinates
    // start in the drawable.
    std::optional<SourceImage> readKept(const Region& area, int readOffset, bool whole);
    // Adds the rectangles of the damage just subtracted into `damagedRegion_` to the boxes.
    void collectDamagedBoxes();
    // Makes the shared segment at least `bytes` long; false when it had to be made anew,
    // and with it the kept picture lost.
    bool ensureSegment(std::size_t bytes);
    void releaseSegment();

    XConnection connection_;
    CaptureSource source_;
    std::uint8_t damageEvent_ = 0;
    xcb_damage_damage_t damage_ = XCB_NONE;
    // The damage taken since the last read, as boxes in the watched drawable's coordinates
    // (the root's or the window's). The pixels as last read lie at the start of the shared
    // segment (BGRA as the server gives them, packed rows), so a whole read lands there
    // with no copy on this side.
    xcb_xfixes_region_t damagedRegion_ = XCB_NONE;
    struct Box {
        int left, top, right, bottom;
    };
    std::vector<Box> damagedBoxes_;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
    // Reads still to be made without comparing them with the kept picture.
    int comparisonPause_ = 0;
    // Compared reads in a row that found most of a large read changed.
    int mostlyChangedReads_ = 0;
    // The window was mapped or reconfigured since the last read.
    bool rereadWhole_ = false;
    std::optional<std::vector<FrameRect>> lastRead_;
    xcb_shm_seg_t segment_ = XCB_NONE;
    int segmentId_ = -1;
    std::uint8_t* segmentData_ = nullptr;
    std::size_t segmentSize_ = 0;
};

}  // namespace kelvane::platform::x11
