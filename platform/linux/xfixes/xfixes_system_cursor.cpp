// The current cursor through the XFixes extension: the X server hands back the image
// of whatever cursor it is showing, already in premultiplied ARGB32.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include "platform/linux/x11/x_connection.h"
#include "platform/system_cursor.h"

namespace kelvane::platform::xfixes {
namespace {

using x11::XConnection;
using x11::XConnectionError;

// A failed connection attempt is not repeated on every poll: with no server reachable
// the monitor would otherwise knock on the socket twenty times a second.
constexpr auto reconnectPause = std::chrono::seconds(1);

class XfixesSystemCursor final : public SystemCursor {
public:
    std::optional<CursorImage> current() override {
        XConnection* connection = usableConnection();
        if (connection == nullptr) return std::nullopt;
        try {
            const auto reply = connection->reply<xcb_xfixes_get_cursor_image_reply_t>(
                xcb_xfixes_get_cursor_image(connection->get()));
            if (!reply) return std::nullopt;
            return toCursorImage(*reply);
        } catch (const XConnectionError&) {
            // A lost or silent server shows up here first; the next poll reconnects.
            connection_.reset();
            return std::nullopt;
        }
    }

private:
    static std::optional<CursorImage> toCursorImage(xcb_xfixes_get_cursor_image_reply_t& reply) {
        const int width = reply.width;
        const int height = reply.height;
        const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        const int available = xcb_xfixes_get_cursor_image_cursor_image_length(&reply);
        if (available < 0 || static_cast<std::size_t>(available) < count) return std::nullopt;

        CursorBitmap bitmap;
        bitmap.pixelWidth = width;
        bitmap.pixelHeight = height;
        bitmap.pixels.resize(count);
        if (count > 0) {
            std::memcpy(bitmap.pixels.data(), xcb_xfixes_get_cursor_image_cursor_image(&reply),
                        count * sizeof(std::uint32_t));
        }
        CursorImage image;
        image.pointWidth = width;
        image.pointHeight = height;
        image.hotspotX = reply.xhot;
        image.hotspotY = reply.yhot;
        image.representations.push_back(std::move(bitmap));
        return image;
    }

    XConnection* usableConnection() {
        if (connection_ && xcb_connection_has_error(connection_->get()) != 0) connection_.reset();
        if (connection_) return connection_.get();

        const auto now = std::chrono::steady_clock::now();
        if (lastAttempt_ && now - *lastAttempt_ < reconnectPause) return nullptr;
        lastAttempt_ = now;

        try {
            auto candidate = std::make_unique<XConnection>();
            if (!hasXfixes(*candidate)) return nullptr;
            connection_ = std::move(candidate);
        } catch (const XConnectionError&) {
            return nullptr;
        }
        return connection_.get();
    }

    // The server answers cursor-image requests only after the client has announced
    // which version of the extension it speaks.
    static bool hasXfixes(const XConnection& connection) {
        if (connection.extension(&xcb_xfixes_id).present == 0) return false;
        const auto version = connection.reply<xcb_xfixes_query_version_reply_t>(
            xcb_xfixes_query_version(connection.get(), XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION));
        return version && version->major_version >= 1;
    }

    std::unique_ptr<XConnection> connection_;
    std::optional<std::chrono::steady_clock::time_point> lastAttempt_;
};

}  // namespace
}  // namespace kelvane::platform::xfixes

namespace kelvane::platform {

std::unique_ptr<SystemCursor> makeSystemCursor() { return std::make_unique<xfixes::XfixesSystemCursor>(); }

}  // namespace kelvane::platform
