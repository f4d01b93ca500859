#include "testing/window_maker/test_window.h"

#include <xcb/xcb_icccm.h>
#include <xcb/xfixes.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace kelvane::testing {
namespace {

using namespace std::chrono_literals;
constexpr auto settleTimeout = 5s;

const char* typeAtomName(WindowType type) {
    switch (type) {
        case WindowType::normal: return "_NET_WM_WINDOW_TYPE_NORMAL";
        case WindowType::dialog: return "_NET_WM_WINDOW_TYPE_DIALOG";
        case WindowType::utility: return "_NET_WM_WINDOW_TYPE_UTILITY";
        case WindowType::toolbar: return "_NET_WM_WINDOW_TYPE_TOOLBAR";
        case WindowType::splash: return "_NET_WM_WINDOW_TYPE_SPLASH";
        case WindowType::dock: return "_NET_WM_WINDOW_TYPE_DOCK";
        case WindowType::desktop: return "_NET_WM_WINDOW_TYPE_DESKTOP";
        case WindowType::menu: return "_NET_WM_WINDOW_TYPE_MENU";
        case WindowType::dropdownMenu: return "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU";
        case WindowType::popupMenu: return "_NET_WM_WINDOW_TYPE_POPUP_MENU";
        case WindowType::tooltip: return "_NET_WM_WINDOW_TYPE_TOOLTIP";
        case WindowType::notification: return "_NET_WM_WINDOW_TYPE_NOTIFICATION";
    }
    return "_NET_WM_WINDOW_TYPE_NORMAL";
}

constexpr uint32_t iconicState = 3;
constexpr uint32_t allDesktops = 0xFFFFFFFF;  // ICCCM WM_STATE / WM_CHANGE_STATE value

}  // namespace

TestWindow::TestWindow(XSession& session, xcb_cursor_context_t* cursors, WindowSpec spec)
    : session_(session), cursors_(cursors), spec_(std::move(spec)), created_(Clock::now()) {
    xcb_connection_t* c = session_.connection();
    id_ = xcb_generate_id(c);
    uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
    uint32_t values[] = {spec_.color, spec_.overrideRedirect ? 1u : 0u,
                         XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, id_, session_.root(), static_cast<int16_t>(spec_.x),
                      static_cast<int16_t>(spec_.y), static_cast<uint16_t>(spec_.width),
                      static_cast<uint16_t>(spec_.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      session_.screen()->root_visual, mask, values);
    gc_ = xcb_generate_id(c);
    xcb_create_gc(c, gc_, id_, 0, nullptr);
    setProperties();
    if (!spec_.cursor.empty()) setCursor(spec_.cursor);
}

TestWindow::~TestWindow() {
    xcb_connection_t* c = session_.connection();
    xcb_free_gc(c, gc_);
    xcb_destroy_window(c, id_);
    if (cursor_ != XCB_CURSOR_NONE) xcb_free_cursor(c, cursor_);
    xcb_flush(c);
}

void TestWindow::setString(const std::string& property, const std::string& type, const std::string& value) {
    xcb_change_property(session_.connection(), XCB_PROP_MODE_REPLACE, id_, session_.atom(property),
                        session_.atom(type), 8, static_cast<uint32_t>(value.size()), value.data());
}

void TestWindow::setWords(const std::string& property, xcb_atom_t type, const std::vector<uint32_t>& values) {
    xcb_change_property(session_.connection(), XCB_PROP_MODE_REPLACE, id_, session_.atom(property), type, 32,
                        static_cast<uint32_t>(values.size()), values.data());
}

void TestWindow::setProperties() {
    xcb_connection_t* c = session_.connection();
    if (spec_.netWmName) setString("_NET_WM_NAME", "UTF8_STRING", *spec_.netWmName);
    if (spec_.wmName) setString("WM_NAME", "STRING", *spec_.wmName);
    if (spec_.wmClassInstance && spec_.wmClassClass) {
        std::string both = *spec_.wmClassInstance + '\0' + *spec_.wmClassClass + '\0';
        setString("WM_CLASS", "STRING", both);
    }
    if (spec_.gtkApplicationId) setString("_GTK_APPLICATION_ID", "UTF8_STRING", *spec_.gtkApplicationId);
    if (spec_.kdeDesktopFile) setString("_KDE_NET_WM_DESKTOP_FILE", "UTF8_STRING", *spec_.kdeDesktopFile);
    if (spec_.setPid) {
        setWords("_NET_WM_PID", XCB_ATOM_CARDINAL, {spec_.pid.value_or(static_cast<uint32_t>(getpid()))});
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        setString("WM_CLIENT_MACHINE", "STRING", host);
    }
    setWords("_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {session_.atom(typeAtomName(spec_.type))});
    std::vector<uint32_t> states;
    if (spec_.above) states.push_back(session_.atom("_NET_WM_STATE_ABOVE"));
    if (spec_.sticky) states.push_back(session_.atom("_NET_WM_STATE_STICKY"));
    if (!states.empty()) setWords("_NET_WM_STATE", XCB_ATOM_ATOM, states);
    if (auto desktop = requestedDesktop()) setWords("_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, {*desktop});
    if (spec_.transientFor) setWords("WM_TRANSIENT_FOR", XCB_ATOM_WINDOW, {*spec_.transientFor});
    setWords("WM_PROTOCOLS", XCB_ATOM_ATOM, {session_.atom("WM_DELETE_WINDOW")});

    // A user-given position and size, so the window manager places it where asked.
    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_position(&hints, 1, spec_.x, spec_.y);
    xcb_icccm_size_hints_set_size(&hints, 1, static_cast<int32_t>(spec_.width), static_cast<int32_t>(spec_.height));
    xcb_icccm_set_wm_normal_hints(c, id_, &hints);
}

std::optional<uint32_t> TestWindow::requestedDesktop() const {
    // Window managers that do not take the sticky state (openbox among them) put a
    // window on all desktops when asked for desktop 0xFFFFFFFF.
    if (spec_.desktop) return spec_.desktop;
    if (spec_.sticky) return allDesktops;
    return std::nullopt;
}

bool TestWindow::isViewable() {
    xcb_connection_t* c = session_.connection();
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id_), nullptr), &std::free);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool TestWindow::isInClientList() {
    auto clients = session_.words(session_.root(), "_NET_CLIENT_LIST");
    return clients && std::count(clients->begin(), clients->end(), id_) > 0;
}

bool TestWindow::hasState(const std::string& state) {
    auto states = session_.words(id_, "_NET_WM_STATE");
    return states && std::count(states->begin(), states->end(), session_.atom(state)) > 0;
}

std::string TestWindow::show(const WaitUntil& waitUntil) {
    xcb_connection_t* c = session_.connection();
    bool managed = !spec_.overrideRedirect && session_.hasWindowManager();
    if (spec_.hidden && !managed) {
        // Without a window manager a minimised window is simply one that is not mapped.
        if (!spec_.overrideRedirect) {
            std::vector<uint32_t> states = session_.words(id_, "_NET_WM_STATE").value_or(std::vector<uint32_t>{});
            states.push_back(session_.atom("_NET_WM_STATE_HIDDEN"));
            setWords("_NET_WM_STATE", XCB_ATOM_ATOM, states);
        }
        xcb_flush(c);
        session_.sync();
        return {};
    }
    xcb_map_window(c, id_);
    xcb_flush(c);
    std::string missed;
    if (!waitUntil([&] { return isViewable() && (!managed || isInClientList()); }, settleTimeout)) {
        missed += managed ? " managed" : " mapped";
    }
    paint(Clock::now());
    if (!managed) return missed;
    if (auto wanted = requestedDesktop()) {
        session_.askWindowManager(id_, "_NET_WM_DESKTOP", {*wanted, 1, 0, 0, 0});
        auto onDesktop = [&] {
            auto desktop = session_.words(id_, "_NET_WM_DESKTOP");
            return desktop && !desktop->empty() && desktop->front() == *wanted;
        };
        if (!waitUntil(onDesktop, settleTimeout)) missed += " desktop";
    }
    if (spec_.hidden) missed += minimize(waitUntil);
    return missed;
}

std::string TestWindow::minimize(const WaitUntil& waitUntil) {
    session_.askWindowManager(id_, "WM_CHANGE_STATE", {iconicState, 0, 0, 0, 0});
    return waitUntil([&] { return hasState("_NET_WM_STATE_HIDDEN"); }, settleTimeout) ? "" : " hidden";
}

std::string TestWindow::withdraw(const WaitUntil& waitUntil) {
    xcb_unmap_window(session_.connection(), id_);
    xcb_flush(session_.connection());
    const bool managed = !spec_.overrideRedirect && session_.hasWindowManager();
    return waitUntil([&] { return !isViewable() && (!managed || !isInClientList()); }, settleTimeout) ? ""
                                                                                                    : " withdrawn";
}

void TestWindow::activate() {
    // Source indication 2: a pager acting for the user, which window managers obey.
    session_.askWindowManager(id_, "_NET_ACTIVE_WINDOW", {2, XCB_CURRENT_TIME, 0, 0, 0});
}

bool TestWindow::paint(Clock::time_point now) {
    xcb_connection_t* c = session_.connection();
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id_), nullptr), &std::free);
    uint32_t width = geometry ? geometry->width : spec_.width;
    uint32_t height = geometry ? geometry->height : spec_.height;
    ContentFrame frame = contentFrameAt(spec_, width, height, now - created_);
    xcb_change_gc(c, gc_, XCB_GC_FOREGROUND, &frame.background);
    xcb_rectangle_t whole{0, 0, static_cast<uint16_t>(width), static_cast<uint16_t>(height)};
    xcb_poly_fill_rectangle(c, id_, gc_, 1, &whole);
    if (frame.box) {
        uint32_t white = 0xffffff;
        xcb_change_gc(c, gc_, XCB_GC_FOREGROUND, &white);
        xcb_rectangle_t box{static_cast<int16_t>(frame.box->x), static_cast<int16_t>(frame.box->y),
                            static_cast<uint16_t>(frame.box->width), static_cast<uint16_t>(frame.box->height)};
        xcb_poly_fill_rectangle(c, id_, gc_, 1, &box);
    }
    xcb_flush(c);
    bool startedFlash = frame.flashing && !wasFlashing_;
    wasFlashing_ = frame.flashing;
    return startedFlash;
}

std::optional<TestWindow::Clock::time_point> TestWindow::nextChange(Clock::time_point now) const {
    auto next = nextContentChange(spec_, now - created_);
    if (!next) return std::nullopt;
    return created_ + std::chrono::duration_cast<Clock::duration>(*next);
}

void TestWindow::move(int x, int y) {
    uint32_t values[] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
    xcb_configure_window(session_.connection(), id_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    xcb_flush(session_.connection());
}

void TestWindow::resize(uint32_t width, uint32_t height) {
    uint32_t values[] = {width, height};
    xcb_configure_window(session_.connection(), id_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    xcb_flush(session_.connection());
}

void TestWindow::setTitle(const std::string& title) {
    setString("_NET_WM_NAME", "UTF8_STRING", title);
    setString("WM_NAME", "STRING", title);
    xcb_flush(session_.connection());
}

void TestWindow::setColor(uint32_t color) {
    spec_.color = color;
    xcb_change_window_attributes(session_.connection(), id_, XCB_CW_BACK_PIXEL, &color);
    paint(Clock::now());
}

bool TestWindow::setCursor(const std::string& name) {
    xcb_connection_t* c = session_.connection();
    xcb_cursor_t loaded = cursors_ ? xcb_cursor_load_cursor(cursors_, name.c_str()) : xcb_cursor_t{XCB_CURSOR_NONE};
    if (loaded == XCB_CURSOR_NONE) return false;
    // Named like Xlib's themed cursors, so XFixes reports the theme name too.
    xcb_xfixes_set_cursor_name(c, loaded, static_cast<uint16_t>(name.size()), name.data());
    xcb_change_window_attributes(c, id_, XCB_CW_CURSOR, &loaded);
    if (cursor_ != XCB_CURSOR_NONE) xcb_free_cursor(c, cursor_);
    cursor_ = loaded;
    xcb_flush(c);
    return true;
}

}  // namespace kelvane::testing
