#include "platform/linux/x11/x_image_grabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/composite.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cmath>
#include <string>

#include "platform/linux/x11/changed_rows.h"
#include "platform/linux/x11/poll_until.h"

namespace kelvane::platform::x11 {
namespace {

const xcb_query_extension_reply_t& requireExtension(const XConnection& connection, xcb_extension_t* extension,
                                                    const char* name) {
    const xcb_query_extension_reply_t& data = connection.extension(extension);
    if (!data.present) throw XConnectionError(std::string("The X server lacks the ") + name + " extension");
    return data;
}

int wholePixels(double value) { return static_cast<int>(std::lround(value)); }

// Reads made without comparing once comparisons found most of a large read changed this
// many times in a row: an animation. One such read alone is a window changing once (a new
// page, a colour), after which it usually redraws the same pixels again.
constexpr int mostlyChangedReadsForPause = 2;
constexpr int readsWithoutComparison = 8;

}  // namespace

XImageGrabber::XImageGrabber(CaptureSource source) : source_(source) {
    xcb_connection_t* c = connection_.get();
    requireExtension(connection_, &xcb_shm_id, "MIT-SHM");
    damageEvent_ = requireExtension(connection_, &xcb_damage_id, "DAMAGE").first_event;
    const auto damageVersion = connection_.reply<xcb_damage_query_version_reply_t>(xcb_damage_query_version(c, 1, 1));
    if (!damageVersion) throw XConnectionError("The X server's DAMAGE extension does not answer");

    xcb_drawable_t watched = connection_.root();
    if (const auto* window = std::get_if<WindowSource>(&source_)) {
        requireExtension(connection_, &xcb_composite_id, "Composite");
        const auto compositeVersion =
            connection_.reply<xcb_composite_query_version_reply_t>(xcb_composite_query_version(c, 0, 4));
        if (!compositeVersion) throw XConnectionError("The X server's Composite extension does not answer");
        // Automatic redirection keeps the window on screen as before while its content
        // also lives in a pixmap of its own.
        xcb_composite_redirect_window(c, window->window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        // Mapping and resizing give the window a new pixmap, read whole.
        const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, window->window, XCB_CW_EVENT_MASK, &events);
        watched = window->window;
    }
    requireExtension(connection_, &xcb_xfixes_id, "XFIXES");
    const auto fixesVersion = connection_.reply<xcb_xfixes_query_version_reply_t>(xcb_xfixes_query_version(c, 2, 0));
    if (!fixesVersion) throw XConnectionError("The X server's XFIXES extension does not answer");
    damagedRegion_ = xcb_generate_id(c);
    xcb_xfixes_create_region(c, damagedRegion_, 0, nullptr);
    damage_ = xcb_generate_id(c);
    xcb_damage_create(c, damage_, watched, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    xcb_flush(c);
    connection_.throwIfBroken();
}

XImageGrabber::~XImageGrabber() {
    xcb_connection_t* c = connection_.get();
    if (!xcb_connection_has_error(c)) {
        xcb_damage_destroy(c, damage_);
        xcb_xfixes_destroy_region(c, damagedRegion_);
        if (const auto* window = std::get_if<WindowSource>(&source_)) {
            xcb_composite_unredirect_window(c, window->window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        }
        xcb_flush(c);
    }
    releaseSegment();
}

bool XImageGrabber::takeDamage() {
    xcb_connection_t* c = connection_.get();
    bool damaged = false;
    while (XReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
        const int type = event->response_type & 0x7f;
        if (type == damageEvent_ + XCB_DAMAGE_NOTIFY) damaged = true;
        if (type == XCB_MAP_NOTIFY || type == XCB_CONFIGURE_NOTIFY) {
            damaged = true;
            rereadWhole_ = true;
        }
    }
    connection_.throwIfBroken();
    // Re-arms the report: the next change after this point is announced again.
    if (damaged) {
        xcb_damage_subtract(c, damage_, XCB_NONE, damagedRegion_);
        collectDamagedBoxes();
        xcb_flush(c);
    }
    return damaged;
}

void XImageGrabber::collectDamagedBoxes() {
    // Reading a box costs one request; past this many, one box around them all is read.
    constexpr std::size_t mostBoxes = 16;
    xcb_connection_t* c = connection_.get();
    const auto region = connection_.reply<xcb_xfixes_fetch_region_reply_t>(xcb_xfixes_fetch_region(c, damagedRegion_));
    if (!region) {
        connection_.throwIfBroken();
        // Not knowing where, the next read takes everything.
        damagedBoxes_.assign(1, Box{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2});
        return;
    }
    auto boxOf = [](const xcb_rectangle_t& r) { return Box{r.x, r.y, r.x + r.width, r.y + r.height}; };
    const xcb_rectangle_t* rectangles = xcb_xfixes_fetch_region_rectangles(region.get());
    const int count = xcb_xfixes_fetch_region_rectangles_length(region.get());
    for (int i = 0; i < count; ++i) damagedBoxes_.push_back(boxOf(rectangles[i]));
    if (damagedBoxes_.size() > mostBoxes) {
        Box around = damagedBoxes_.front();
        for (const Box& box : damagedBoxes_) {
            around = Box{std::min(around.left, box.left), std::min(around.top, box.top),
                         std::max(around.right, box.right), std::max(around.bottom, box.bottom)};
        }
        damagedBoxes_.assign(1, around);
    }
}

bool XImageGrabber::waitForDamage(std::chrono::steady_clock::time_point deadline, int wakeFd) {
    for (;;) {
        // Events already read off the socket (while waiting for a reply) are only seen here.
        if (takeDamage()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pollfd watched[2] = {{xcb_get_file_descriptor(connection_.get()), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (pollUntil(watched, 2, deadline) < 0 && errno != EINTR) {
            throw XConnectionError("Cannot wait for the X server");
        }
        if (watched[1].revents != 0) return false;
    }
}

std::optional<SourceImage> XImageGrabber::grab(bool whole) {
    xcb_connection_t* c = connection_.get();
    lastRead_.reset();
    if (const auto* area = std::get_if<DisplayArea>(&source_)) return grabDisplayArea(*area, whole);
    const xcb_window_t window = std::get<WindowSource>(source_).window;
    const auto geometry = connection_.reply<xcb_get_geometry_reply_t>(xcb_get_geometry(c, window));
    if (!geometry) {
        connection_.throwIfBroken();
        rereadWhole_ = true;
        return std::nullopt;
    }
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const XReply<xcb_generic_error_t> naming =
        connection_.requestError(xcb_composite_name_window_pixmap_checked(c, window, pixmap));
    if (naming) {
        connection_.throwIfBroken();
        rereadWhole_ = true;
        return std::nullopt;
    }
    // Damage is in the window's coordinates; the pixmap includes the window's border, so
    // the content starts inside it.
    const int border = geometry->border_width;
    auto image = readKept({pixmap, 0, 0, geometry->width, geometry->height}, border, whole || rereadWhole_);
    rereadWhole_ = false;
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    return image;
}

std::optional<SourceImage> XImageGrabber::grabDisplayArea(const DisplayArea& area, bool whole) {
    return readKept({connection_.root(), wholePixels(minX(area.frame)), wholePixels(minY(area.frame)),
                     wholePixels(kelvane::platform::width(area.frame)),
                     wholePixels(kelvane::platform::height(area.frame))},
                    0, whole);
}

std::optional<SourceImage> XImageGrabber::readKept(const Region& area, int readOffset, bool whole) {
    const int left = area.x;
    const int top = area.y;
    const int width = area.width;
    const int height = area.height;
    if (width <= 0 || height <= 0) return std::nullopt;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const std::size_t keptBytes = rowBytes * static_cast<std::size_t>(height);
    // The kept picture, then room for the largest box read apart.
    const bool segmentKept = ensureSegment(2 * keptBytes);
    const bool first = !segmentKept || width != pictureWidth_ || height != pictureHeight_;
    const Box areaBox{left, top, left + width, top + height};
    std::vector<Box> boxes;
    if (whole || first) {
        boxes.push_back(areaBox);
    } else {
        for (const Box& damaged : damagedBoxes_) {
            const Box box{std::max(areaBox.left, damaged.left), std::max(areaBox.top, damaged.top),
                          std::min(areaBox.right, damaged.right), std::min(areaBox.bottom, damaged.bottom)};
            if (box.left < box.right && box.top < box.bottom) boxes.push_back(box);
        }
    }
    damagedBoxes_.clear();
    pictureWidth_ = width;
    pictureHeight_ = height;
    // Programs often draw far more than they change (a whole window to move one box in
    // it); comparing what was read with the kept picture finds what really changed.
    // Where most of large reads did change (an animation), comparing is skipped for a
    // while.
    const bool compare = !whole && !first && comparisonPause_ == 0;
    if (!compare && comparisonPause_ > 0) --comparisonPause_;
    if (!whole && !first) lastRead_.emplace();
    long long readPixels = 0;
    long long changedPixels = 0;

    for (const Box& box : boxes) {
        const int boxWidth = box.right - box.left;
        const int boxHeight = box.bottom - box.top;
        const std::size_t boxRowBytes = static_cast<std::size_t>(boxWidth) * 4;
        std::uint8_t* target = segmentData_ + static_cast<std::size_t>(box.top - top) * rowBytes +
                               static_cast<std::size_t>(box.left - left) * 4;
        // Rows as wide as the area land in place unless compared; any other box is read
        // after the kept picture and its rows copied in.
        const bool inPlace = !compare && box.left == areaBox.left && box.right == areaBox.right;
        if (!read({area.drawable, box.left + readOffset, box.top + readOffset, boxWidth, boxHeight},
                  inPlace ? static_cast<std::size_t>(target - segmentData_) : keptBytes)) {
            pictureWidth_ = pictureHeight_ = 0;
            lastRead_.reset();
            return std::nullopt;
        }
        const std::uint8_t* fresh = segmentData_ + keptBytes;
        if (compare) {
            readPixels += static_cast<long long>(boxWidth) * boxHeight;
            const auto changed = copyChangedRows(target, rowBytes, fresh, boxRowBytes, boxWidth, boxHeight);
            if (!changed) continue;
            changedPixels += static_cast<long long>(changed->width) * changed->height;
            lastRead_->push_back({box.left - left + changed->x, box.top - top + changed->y, changed->width, changed->height});
            continue;
        }
        if (lastRead_) lastRead_->push_back({box.left - left, box.top - top, boxWidth, boxHeight});
        if (inPlace) continue;
        for (int row = 0; row < boxHeight; ++row) {
            std::memcpy(target + static_cast<std::size_t>(row) * rowBytes, fresh + static_cast<std::size_t>(row) * boxRowBytes,
                        boxRowBytes);
        }
    }
    const bool largeRead = readPixels * 4 >= static_cast<long long>(width) * height;
    if (compare) {
        const bool mostlyChanged = largeRead && changedPixels * 2 > readPixels;
        mostlyChangedReads_ = mostlyChanged ? mostlyChangedReads_ + 1 : 0;
        if (mostlyChangedReads_ >= mostlyChangedReadsForPause) {
            comparisonPause_ = readsWithoutComparison;
            mostlyChangedReads_ = 0;
        }
    }
    return SourceImage{segmentData_, width, height, width * 4, false};
}

bool XImageGrabber::read(const Region& region, std::size_t offset) {
    xcb_connection_t* c = connection_.get();
    const auto reply = connection_.reply<xcb_shm_get_image_reply_t>(
        xcb_shm_get_image(c, region.drawable, static_cast<std::int16_t>(region.x), static_cast<std::int16_t>(region.y),
                          static_cast<std::uint16_t>(region.width), static_cast<std::uint16_t>(region.height),
                          ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, static_cast<std::uint32_t>(offset)));
    if (!reply) {
        connection_.throwIfBroken();
        return false;
    }
    // Only 24- and 32-bit depths come as four bytes per pixel.
    return reply->depth == 24 || reply->depth == 32;
}

bool XImageGrabber::ensureSegment(std::size_t bytes) {
    if (bytes <= segmentSize_) return true;
    releaseSegment();
    xcb_connection_t* c = connection_.get();
    segmentId_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segmentId_ < 0) throw XConnectionError("Cannot make a shared memory segment for screen capture");
    void* data = shmat(segmentId_, nullptr, 0);
    // Marked for removal at once, so the segment goes away with the last user even if
    // this process dies.
    shmctl(segmentId_, IPC_RMID, nullptr);
    if (data == reinterpret_cast<void*>(-1)) {
        segmentId_ = -1;
        throw XConnectionError("Cannot map a shared memory segment for screen capture");
    }
    segmentData_ = static_cast<std::uint8_t*>(data);
    segmentSize_ = bytes;
    segment_ = xcb_generate_id(c);
    const XReply<xcb_generic_error_t> error =
        connection_.requestError(xcb_shm_attach_checked(c, segment_, static_cast<std::uint32_t>(segmentId_), 0));
    if (error) {
        releaseSegment();
        throw XConnectionError("The X server cannot attach a shared memory segment (is it on another machine?)");
    }
    return false;
}

void XImageGrabber::releaseSegment() {
    if (segment_ != XCB_NONE && !xcb_connection_has_error(connection_.get())) {
        xcb_shm_detach(connection_.get(), segment_);
        xcb_flush(connection_.get());
    }
    segment_ = XCB_NONE;
    if (segmentData_) shmdt(segmentData_);
    segmentData_ = nullptr;
    segmentSize_ = 0;
    segmentId_ = -1;
}

}  // namespace kelvane::platform::x11
