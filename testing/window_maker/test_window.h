#pragma once
// One real X window made to a WindowSpec: its EWMH/ICCCM properties, its place on the
// desktop as the window manager sees it, its cursor, and its painted content.
#include <xcb/xcb.h>
#include <xcb/xcb_cursor.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "testing/window_maker/content_frames.h"
#include "testing/window_maker/window_spec.h"
#include "testing/window_maker/x_session.h"

namespace kelvane::testing {

// Handles X events until `done` answers true or the time-out passes; false on time-out.
using WaitUntil = std::function<bool(const std::function<bool()>& done, std::chrono::milliseconds timeout)>;

class TestWindow {
public:
    using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC on Linux

    // Creates the window with its properties set, not yet mapped.
    TestWindow(XSession& session, xcb_cursor_context_t* cursors, WindowSpec spec);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    xcb_window_t id() const { return id_; }

    // Maps the window and waits until it is on screen and, with a window manager, managed,
    // with its requested states and desktop applied. Returns what did not take effect in
    // time (empty when all did).
    std::string show(const WaitUntil& waitUntil);

    // Draws the picture due at `now`; returns true when this drawing started a flash.
    bool paint(Clock::time_point now);
    std::optional<Clock::time_point> nextChange(Clock::time_point now) const;

    void move(int x, int y);
    void resize(uint32_t width, uint32_t height);
    void setTitle(const std::string& title);
    void setColor(uint32_t color);
    // False when the theme has no cursor of that name.
    bool setCursor(const std::string& name);
    std::string minimize(const WaitUntil& waitUntil);
    // Unmaps the window and waits until it is off screen and no window manager manages it
    // any more. Returns what did not take effect in time. `show` maps it again.
    std::string withdraw(const WaitUntil& waitUntil);
    void activate();

private:
    void setProperties();
    void setString(const std::string& property, const std::string& type, const std::string& value);
    void setWords(const std::string& property, xcb_atom_t type, const std::vector<uint32_t>& values);
    std::optional<uint32_t> requestedDesktop() const;
    bool isViewable();
    bool isInClientList();
    bool hasState(const std::string& state);

    XSession& session_;
    xcb_cursor_context_t* cursors_;
    WindowSpec spec_;
    xcb_window_t id_ = 0;
    xcb_gcontext_t gc_ = 0;
    xcb_cursor_t cursor_ = XCB_CURSOR_NONE;
    Clock::time_point created_;
    bool wasFlashing_ = false;
};

}  // namespace kelvane::testing
