// The screen reader on a throwaway desktop: a display area or a window read again only
// where damage says it changed must hold the same pixels as one read whole.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/linux/x11/x_image_grabber.h"

namespace kelvane::platform::x11 {
namespace {

using namespace std::chrono_literals;

// An override-redirect window of one colour, drawn by a connection of its own.
class PaintedWindow {
public:
    PaintedWindow(int x, int y, int width, int height, std::uint32_t colour) : connection_(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t values[] = {colour, 1};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<std::int16_t>(x),
                          static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection_, window_);
        sync();
    }
    ~PaintedWindow() { xcb_disconnect(connection_); }

    xcb_window_t id() const { return window_; }

    void fill(int x, int y, int width, int height, std::uint32_t colour) {
        const xcb_gcontext_t gc = xcb_generate_id(connection_);
        xcb_create_gc(connection_, gc, window_, XCB_GC_FOREGROUND, &colour);
        const xcb_rectangle_t box{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                                  static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
        xcb_poly_fill_rectangle(connection_, window_, gc, 1, &box);
        xcb_free_gc(connection_, gc);
        sync();
    }

    void resize(int width, int height) {
        const std::uint32_t size[] = {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
        xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        sync();
    }

    void recolour(std::uint32_t colour) {
        xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &colour);
        xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
        sync();
    }

private:
    void sync() { free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    xcb_connection_t* connection_;
    xcb_window_t window_ = XCB_NONE;
};

std::vector<std::uint8_t> copyOf(const SourceImage& image) {
    std::vector<std::uint8_t> pixels;
    for (int row = 0; row < image.height; ++row) {
        const std::uint8_t* line = image.pixels + static_cast<std::size_t>(row) * image.stride;
        pixels.insert(pixels.end(), line, line + static_cast<std::size_t>(image.width) * 4);
    }
    return pixels;
}

std::size_t differingPixels(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 3 < std::min(a.size(), b.size()); i += 4) {
        if (std::memcmp(&a[i], &b[i], 4) != 0) ++count;
    }
    return count + (a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) / 4;
}

TEST(XImageGrabberOnDesktop, ReadingOnlyTheDamagedBoxGivesTheWholeScreen) {
    const DisplayArea screen{Rect{0, 0, 1920, 1080}};
    XImageGrabber grabber(screen);
    grabber.takeDamage();
    const auto before = grabber.grab(true);
    ASSERT_TRUE(before.has_value());
    const std::vector<std::uint8_t> first = copyOf(*before);

    PaintedWindow top(100, 80, 60, 40, 0xff0000);
    PaintedWindow bottom(1700, 950, 90, 70, 0x0000ff);
    ASSERT_TRUE(grabber.waitForDamage(std::chrono::steady_clock::now() + 5s, -1));
    // The second window's damage may come with the first or after it; both end up read.
    grabber.waitForDamage(std::chrono::steady_clock::now() + 200ms, -1);
    const auto partial = grabber.grab(false);
    ASSERT_TRUE(partial.has_value());
    const std::vector<std::uint8_t> updated = copyOf(*partial);
    EXPECT_GE(differingPixels(first, updated), 60u * 40 + 90 * 70) << "both windows are in the picture";

    XImageGrabber fresh(screen);
    const auto whole = fresh.grab(true);
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(differingPixels(updated, copyOf(*whole)), 0u);

    // Nothing drawn since: the same picture, without reading.
    EXPECT_EQ(differingPixels(copyOf(*grabber.grab(false)), updated), 0u);

    top.recolour(0x00ff00);
    ASSERT_TRUE(grabber.waitForDamage(std::chrono::steady_clock::now() + 5s, -1));
    const std::vector<std::uint8_t> recoloured = copyOf(*grabber.grab(false));
    EXPECT_EQ(differingPixels(recoloured, copyOf(*fresh.grab(true))), 0u);
    EXPECT_EQ(differingPixels(recoloured, updated), 60u * 40);

    // A strip as wide as the screen is read straight into its place in the kept picture.
    PaintedWindow strip(0, 500, 1920, 30, 0xffff00);
    ASSERT_TRUE(grabber.waitForDamage(std::chrono::steady_clock::now() + 5s, -1));
    grabber.waitForDamage(std::chrono::steady_clock::now() + 200ms, -1);
    const std::vector<std::uint8_t> striped = copyOf(*grabber.grab(false));
    EXPECT_EQ(differingPixels(striped, copyOf(*fresh.grab(true))), 0u);
    EXPECT_EQ(differingPixels(striped, recoloured), 1920u * 30);
}

// A window is read again only where it was drawn to, and whole once resized; either way
// the picture equals a whole read of the window by a reader of its own.
TEST(XImageGrabberOnDesktop, ReadingOnlyTheDamagedPartOfAWindowGivesTheWholeWindow) {
    PaintedWindow window(200, 150, 320, 240, 0x336699);
    XImageGrabber grabber(WindowSource{window.id()});
    // Redirecting the window draws all of it into its new pixmap.
    while (grabber.waitForDamage(std::chrono::steady_clock::now() + 300ms, -1)) {
    }
    ASSERT_TRUE(grabber.grab(true).has_value());
    const auto wholeRead = [&] {
        XImageGrabber fresh(WindowSource{window.id()});
        const auto image = fresh.grab(true);
        return image ? copyOf(*image) : std::vector<std::uint8_t>{};
    };

    window.fill(30, 40, 20, 10, 0xffcc00);
    window.fill(300, 220, 20, 20, 0x00ff00);
    ASSERT_TRUE(grabber.waitForDamage(std::chrono::steady_clock::now() + 5s, -1));
    grabber.waitForDamage(std::chrono::steady_clock::now() + 200ms, -1);
    const auto partial = grabber.grab(false);
    ASSERT_TRUE(partial.has_value());
    ASSERT_TRUE(grabber.lastRead().has_value()) << "only the damaged part is read";
    int readPixels = 0;
    for (const FrameRect& rect : *grabber.lastRead()) readPixels += rect.width * rect.height;
    EXPECT_GE(readPixels, 20 * 10 + 20 * 20);
    EXPECT_LT(readPixels, 320 * 240 / 4);
    EXPECT_EQ(differingPixels(copyOf(*partial), wholeRead()), 0u);

    // Recoloured whole once, then drawn whole again the same but for one small box: only the
    // box counts as read again (one large change is no animation to stop comparing for).
    const auto drawWhole = [&] {
        window.fill(0, 0, 320, 240, 0x996633);
        window.fill(30, 40, 20, 10, 0xffcc00);
        window.fill(300, 220, 20, 20, 0x00ff00);
    };
    drawWhole();
    ASSERT_TRUE(grabber.waitForDamage(std::chrono::steady_clock::now() + 5s, -1));
    grabber.waitForDamage(std::chrono::steady_clock::now() + 200ms, -1);
    ASSERT_TRUE(grabber.grab(false).has_value());
    drawWhole();
    window.fill(100, 100, 8, 8, 0xff0000);
    ASSERT_TRUE(grabber.waitForDamage(std::chrono::steady_clock::now() + 5s, -1));
    grabber.waitForDamage(std::chrono::steady_clock::now() + 200ms, -1);
    const auto redrawn = grabber.grab(false);
    ASSERT_TRUE(redrawn.has_value());
    ASSERT_TRUE(grabber.lastRead().has_value());
    ASSERT_EQ(grabber.lastRead()->size(), 1u);
    const FrameRect box = grabber.lastRead()->front();
    EXPECT_TRUE(box.x <= 100 && box.x + box.width >= 108 && box.y == 100 && box.height == 8)
        << box.x << "," << box.y << " " << box.width << "x" << box.height;
    EXPECT_EQ(differingPixels(copyOf(*redrawn), wholeRead()), 0u);

    window.resize(200, 300);
    window.fill(0, 250, 200, 50, 0xff00ff);
    ASSERT_TRUE(grabber.waitForDamage(std::chrono::steady_clock::now() + 5s, -1));
    grabber.waitForDamage(std::chrono::steady_clock::now() + 200ms, -1);
    const auto resized = grabber.grab(false);
    ASSERT_TRUE(resized.has_value());
    EXPECT_EQ(resized->width, 200);
    EXPECT_EQ(resized->height, 300);
    EXPECT_EQ(differingPixels(copyOf(*resized), wholeRead()), 0u);
}

}  // namespace
}  // namespace kelvane::platform::x11
