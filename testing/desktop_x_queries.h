#pragma once
// Reads what desktop tests check on the X server: extensions, window properties,
// geometry in root coordinates and pixels. Connects to $DISPLAY (a throwaway desktop
// from scripts/with-desktop). Link xcb.
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvane::testing {

class DesktopXQueries {
public:
    struct Geometry {
        int x = 0;  // root coordinates
        int y = 0;
        uint32_t width = 0;
        uint32_t height = 0;
    };

    DesktopXQueries() {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) {
            xcb_disconnect(connection_);
            throw std::runtime_error("no X server at $DISPLAY");
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }
    ~DesktopXQueries() { xcb_disconnect(connection_); }
    DesktopXQueries(const DesktopXQueries&) = delete;
    DesktopXQueries& operator=(const DesktopXQueries&) = delete;

    xcb_connection_t* connection() const { return connection_; }
    xcb_window_t root() const { return root_; }

    xcb_atom_t atom(const std::string& name) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    bool hasExtension(const std::string& name) {
        Reply<xcb_query_extension_reply_t> reply(xcb_query_extension_reply(
            connection_, xcb_query_extension(connection_, static_cast<uint16_t>(name.size()), name.data()), nullptr));
        return reply && reply->present;
    }

    // An 8-bit property as bytes (WM_CLASS keeps its NUL separators).
    std::optional<std::string> text(xcb_window_t window, const std::string& property) {
        Reply<xcb_get_property_reply_t> reply = get(window, property);
        if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8) return std::nullopt;
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           static_cast<size_t>(xcb_get_property_value_length(reply.get())));
    }

    // A 32-bit property (CARDINAL, ATOM, WINDOW).
    std::optional<std::vector<uint32_t>> words(xcb_window_t window, const std::string& property) {
        Reply<xcb_get_property_reply_t> reply = get(window, property);
        if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 32) return std::nullopt;
        auto* items = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        return std::vector<uint32_t>(items, items + xcb_get_property_value_length(reply.get()) / 4);
    }

    std::optional<Geometry> geometry(xcb_window_t window) {
        Reply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
        Reply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
            connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr));
        if (!size || !place) return std::nullopt;
        return Geometry{place->dst_x, place->dst_y, size->width, size->height};
    }

    bool isViewable(xcb_window_t window) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    // The 0xRRGGBB colour of one pixel of the screen, in root coordinates.
    std::optional<uint32_t> screenPixel(int x, int y) {
        Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
            connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(x), static_cast<int16_t>(y), 1, 1, ~0u),
            nullptr));
        if (!image || xcb_get_image_data_length(image.get()) < 4) return std::nullopt;
        const uint8_t* data = xcb_get_image_data(image.get());
        return (uint32_t{data[2]} << 16 | uint32_t{data[1]} << 8 | data[0]);
    }

private:
    struct FreeReply {
        void operator()(void* reply) const { std::free(reply); }
    };
    template <typename T>
    using Reply = std::unique_ptr<T, FreeReply>;

    Reply<xcb_get_property_reply_t> get(xcb_window_t window, const std::string& property) {
        return Reply<xcb_get_property_reply_t>(
            xcb_get_property_reply(connection_,
                                   xcb_get_property(connection_, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16),
                                   nullptr));
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

}  // namespace kelvane::testing
