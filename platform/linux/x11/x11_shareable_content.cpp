// Shareable content from an X server: displays from RandR monitors, windows from the
// window manager's stacking list (or the root's children when no window manager runs),
// with every property request of a window sent before any reply is read. Withdrawn
// windows are the unmapped children of the root outside that list: a window manager
// hands a window back to the root when its application withdraws it.
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/linux/result_of.h"
#include "platform/linux/x11/window_properties.h"
#include "platform/linux/x11/x11_shareable_content.h"
#include "platform/linux/x11/x_connection.h"

namespace kelvane::platform {

namespace {

using x11::XConnection;
using x11::XReply;

enum Atom : std::size_t {
    netSupportingWmCheck,
    netClientListStacking,
    netCurrentDesktop,
    netWmName,
    netWmPid,
    gtkApplicationId,
    kdeNetWmDesktopFile,
    netWmWindowType,
    netWmState,
    netWmDesktop,
    netWmStateHidden,
    netWmStateAbove,
    firstWindowType,
};

// In the order of x11::WindowType, starting at firstWindowType.
const std::vector<std::string_view> kAtomNames = {
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_CLIENT_LIST_STACKING",
    "_NET_CURRENT_DESKTOP",
    "_NET_WM_NAME",
    "_NET_WM_PID",
    "_GTK_APPLICATION_ID",
    "_KDE_NET_WM_DESKTOP_FILE",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_STATE",
    "_NET_WM_DESKTOP",
    "_NET_WM_STATE_HIDDEN",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_DND",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",
};

// Longest property read, in 32-bit units: room for very long titles.
constexpr std::uint32_t kPropertyLongs = 16384;

XReply<xcb_get_property_reply_t> readProperty(const XConnection& x, xcb_get_property_cookie_t cookie) {
    XReply<xcb_get_property_reply_t> reply = x.reply<xcb_get_property_reply_t>(cookie);
    if (reply && reply->type == XCB_ATOM_NONE) reply.reset();
    return reply;
}

xcb_get_property_cookie_t askProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
    return xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, kPropertyLongs);
}

std::string_view propertyBytes(const xcb_get_property_reply_t& reply) {
    return {static_cast<const char*>(xcb_get_property_value(&reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(&reply))};
}

std::vector<std::uint32_t> propertyValues32(const XReply<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + reply->value_len};
}

std::optional<std::uint32_t> firstValue32(const XReply<xcb_get_property_reply_t>& reply) {
    const std::vector<std::uint32_t> values = propertyValues32(reply);
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::optional<std::string> propertyText(const XReply<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->format != 8) return std::nullopt;
    return x11::decodeTextProperty(propertyBytes(*reply), reply->type == XCB_ATOM_STRING);
}

// Root children that the window manager's list leaves out: its own frames and the
// windows it no longer manages.
std::vector<xcb_window_t> unlisted(const xcb_query_tree_reply_t& tree, const std::vector<std::uint32_t>& listed) {
    const xcb_window_t* children = xcb_query_tree_children(&tree);
    std::vector<xcb_window_t> outside;
    for (int i = 0; i < xcb_query_tree_children_length(&tree); ++i) {
        if (std::ranges::find(listed, children[i]) == listed.end()) outside.push_back(children[i]);
    }
    return outside;
}

struct WindowRequests {
    xcb_window_t window;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t origin;
    xcb_get_property_cookie_t netWmName;
    xcb_get_property_cookie_t wmName;
    xcb_get_property_cookie_t wmClass;
    xcb_get_property_cookie_t pid;
    xcb_get_property_cookie_t gtkApplicationId;
    xcb_get_property_cookie_t kdeDesktopFile;
    xcb_get_property_cookie_t windowType;
    xcb_get_property_cookie_t state;
    xcb_get_property_cookie_t desktop;
};

class X11ShareableContent final : public ShareableContent {
public:
    void getShareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                             ShareableContentHandler completion) override {
        completion(resultOf<x11::XConnectionError, ShareableContentSnapshot>(
            [&] { return snapshot(excludingDesktopWindows, onScreenWindowsOnly); }));
    }

private:
    static ShareableContentSnapshot snapshot(bool excludingDesktopWindows, bool onScreenWindowsOnly) {
        const XConnection x;
        xcb_connection_t* c = x.get();
        xcb_prefetch_extension_data(c, &xcb_randr_id);
        const std::vector<xcb_atom_t> atoms = x.internAtoms(kAtomNames);

        const auto wmCheckCookie = askProperty(c, x.root(), atoms[netSupportingWmCheck]);
        const auto stackingCookie = askProperty(c, x.root(), atoms[netClientListStacking]);
        const auto currentDesktopCookie = askProperty(c, x.root(), atoms[netCurrentDesktop]);
        const auto treeCookie = xcb_query_tree(c, x.root());
        const bool hasRandr = x.extension(&xcb_randr_id).present != 0;
        xcb_randr_query_version_cookie_t versionCookie{};
        xcb_randr_get_monitors_cookie_t monitorsCookie{};
        if (hasRandr) {
            versionCookie = xcb_randr_query_version(c, 1, 5);
            monitorsCookie = xcb_randr_get_monitors(c, x.root(), 1);
        }

        const auto stacking = readProperty(x, stackingCookie);
        const auto currentDesktop = firstValue32(readProperty(x, currentDesktopCookie));
        const XReply<xcb_query_tree_reply_t> tree = x.reply<xcb_query_tree_reply_t>(treeCookie);
        ShareableContentSnapshot content;
        if (hasRandr) readMonitors(x, versionCookie, monitorsCookie, content);
        if (content.displays.empty()) addRootDisplay(x, content);

        // A window manager that follows the conventions names a check window on the
        // root, and that window names itself; a stale list left by one that died does
        // not count. The stacking list's windows are asked for together with the check,
        // so the check costs no round trip of its own.
        const auto checkWindow = firstValue32(readProperty(x, wmCheckCookie));
        std::optional<xcb_get_property_cookie_t> selfCheckCookie;
        if (stacking && checkWindow) selfCheckCookie = askProperty(c, *checkWindow, atoms[netSupportingWmCheck]);
        std::vector<WindowRequests> requests;
        std::vector<WindowRequests> outsideRequests;
        if (selfCheckCookie) {
            const std::vector<std::uint32_t> listed = propertyValues32(stacking);
            requests = askFrontToBack(x, listed, atoms);
            if (!onScreenWindowsOnly && tree) outsideRequests = askFrontToBack(x, unlisted(*tree, listed), atoms);
        }
        const bool managed = selfCheckCookie && firstValue32(readProperty(x, *selfCheckCookie)) == checkWindow;
        if (!managed) {
            for (const WindowRequests& request : requests) discard(c, request);
            for (const WindowRequests& request : outsideRequests) discard(c, request);
            requests.clear();
            outsideRequests.clear();
            if (tree) {
                const xcb_window_t* children = xcb_query_tree_children(tree.get());
                requests = askFrontToBack(
                    x, {children, children + xcb_query_tree_children_length(tree.get())}, atoms);
            }
        }
        // A window manager's list holds its windows mapped or not (minimised ones are
        // unmapped). Elsewhere an unmapped window is withdrawn; a mapped one is a shown
        // window only when no window manager runs, else one of its frames or a pop-up.
        const auto keep = [&](std::optional<CollectedWindow> collected, bool inManagersList) {
            if (!collected) return;
            ShareableWindow& window = collected->window;
            if (excludingDesktopWindows && window.windowLayer == x11::kDesktopLayer) return;
            if (onScreenWindowsOnly && !window.isOnScreen) return;
            if (inManagersList || (collected->mapped && !managed)) {
                content.windows.push_back(std::move(window));
            } else if (!collected->mapped) {
                content.withdrawnWindows.push_back(std::move(window));
            }
        };
        for (const WindowRequests& request : requests) keep(collect(x, request, atoms, currentDesktop), managed);
        for (const WindowRequests& request : outsideRequests) keep(collect(x, request, atoms, currentDesktop), false);
        x.throwIfBroken();
        return content;
    }

    static void readMonitors(const XConnection& x, xcb_randr_query_version_cookie_t versionCookie,
                             xcb_randr_get_monitors_cookie_t monitorsCookie, ShareableContentSnapshot& content) {
        const auto version = x.reply<xcb_randr_query_version_reply_t>(versionCookie);
        auto monitors = x.reply<xcb_randr_get_monitors_reply_t>(monitorsCookie);
        if (!version || !monitors || version->major_version < 1 ||
            (version->major_version == 1 && version->minor_version < 5)) {
            return;
        }
        for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
             xcb_randr_monitor_info_next(&it)) {
            const xcb_randr_monitor_info_t& info = *it.data;
            ShareableDisplay display;
            // A monitor defined without outputs has only its name to tell it apart.
            display.displayID = xcb_randr_monitor_info_outputs_length(&info) > 0
                                    ? xcb_randr_monitor_info_outputs(&info)[0]
                                    : info.name;
            display.frame = Rect{static_cast<double>(info.x), static_cast<double>(info.y),
                                 static_cast<double>(info.width), static_cast<double>(info.height)};
            display.pixelWidth = info.width;
            display.pixelHeight = info.height;
            if (info.primary && !content.mainDisplayID) content.mainDisplayID = display.displayID;
            content.displays.push_back(display);
        }
        if (!content.mainDisplayID && !content.displays.empty()) {
            content.mainDisplayID = content.displays.front().displayID;
        }
    }

    static void addRootDisplay(const XConnection& x, ShareableContentSnapshot& content) {
        const xcb_screen_t& screen = x.screen();
        ShareableDisplay display;
        display.displayID = x.root();
        display.frame = Rect{0, 0, static_cast<double>(screen.width_in_pixels),
                             static_cast<double>(screen.height_in_pixels)};
        display.pixelWidth = screen.width_in_pixels;
        display.pixelHeight = screen.height_in_pixels;
        content.displays.push_back(display);
        content.mainDisplayID = display.displayID;
    }

    static WindowRequests ask(const XConnection& x, xcb_window_t window, const std::vector<xcb_atom_t>& atoms) {
        xcb_connection_t* c = x.get();
        return WindowRequests{
            .window = window,
            .attributes = xcb_get_window_attributes(c, window),
            .geometry = xcb_get_geometry(c, window),
            .origin = xcb_translate_coordinates(c, window, x.root(), 0, 0),
            .netWmName = askProperty(c, window, atoms[netWmName]),
            .wmName = askProperty(c, window, XCB_ATOM_WM_NAME),
            .wmClass = askProperty(c, window, XCB_ATOM_WM_CLASS),
            .pid = askProperty(c, window, atoms[netWmPid]),
            .gtkApplicationId = askProperty(c, window, atoms[gtkApplicationId]),
            .kdeDesktopFile = askProperty(c, window, atoms[kdeNetWmDesktopFile]),
            .windowType = askProperty(c, window, atoms[netWmWindowType]),
            .state = askProperty(c, window, atoms[netWmState]),
            .desktop = askProperty(c, window, atoms[netWmDesktop]),
        };
    }

    // `bottomToTop` is in the order of XQueryTree and of the stacking list.
    static std::vector<WindowRequests> askFrontToBack(const XConnection& x, const std::vector<xcb_window_t>& bottomToTop,
                                                      const std::vector<xcb_atom_t>& atoms) {
        std::vector<WindowRequests> requests;
        requests.reserve(bottomToTop.size());
        for (auto window = bottomToTop.rbegin(); window != bottomToTop.rend(); ++window) {
            requests.push_back(ask(x, *window, atoms));
        }
        return requests;
    }

    static void discard(xcb_connection_t* c, const WindowRequests& request) {
        for (const unsigned int sequence :
             {request.attributes.sequence, request.geometry.sequence, request.origin.sequence,
              request.netWmName.sequence, request.wmName.sequence, request.wmClass.sequence, request.pid.sequence,
              request.gtkApplicationId.sequence, request.kdeDesktopFile.sequence, request.windowType.sequence,
              request.state.sequence, request.desktop.sequence}) {
            xcb_discard_reply(c, sequence);
        }
    }

    struct CollectedWindow {
        ShareableWindow window;
        bool mapped;
    };

    // Reads every reply of one window (all of them, so none is left pending) and forms
    // the window; nothing when it is gone or cannot be drawn.
    static std::optional<CollectedWindow> collect(const XConnection& x, const WindowRequests& request,
                                                  const std::vector<xcb_atom_t>& atoms,
                                                  std::optional<std::uint32_t> currentDesktop) {
        const auto attributes = x.reply<xcb_get_window_attributes_reply_t>(request.attributes);
        const auto geometry = x.reply<xcb_get_geometry_reply_t>(request.geometry);
        const auto origin = x.reply<xcb_translate_coordinates_reply_t>(request.origin);
        const auto netWmNameReply = readProperty(x, request.netWmName);
        const auto wmNameReply = readProperty(x, request.wmName);
        const auto wmClassReply = readProperty(x, request.wmClass);
        const auto pidReply = readProperty(x, request.pid);
        const auto gtkReply = readProperty(x, request.gtkApplicationId);
        const auto kdeReply = readProperty(x, request.kdeDesktopFile);
        const auto typeReply = readProperty(x, request.windowType);
        const auto stateReply = readProperty(x, request.state);
        const auto desktopReply = readProperty(x, request.desktop);

        if (!attributes || !geometry || !origin) return std::nullopt;
        if (attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY) return std::nullopt;
        const bool viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;

        ShareableWindow window;
        window.windowID = request.window;
        window.title = propertyText(netWmNameReply);
        if (!window.title || window.title->empty()) {
            if (auto legacy = propertyText(wmNameReply)) window.title = std::move(legacy);
        }
        window.frame = Rect{static_cast<double>(origin->dst_x), static_cast<double>(origin->dst_y),
                            static_cast<double>(geometry->width), static_cast<double>(geometry->height)};

        x11::ApplicationHints hints;
        if (wmClassReply && wmClassReply->format == 8) hints.wmClass = x11::parseWmClass(propertyBytes(*wmClassReply));
        if (const auto pid = firstValue32(pidReply)) hints.processID = static_cast<std::int32_t>(*pid);
        hints.gtkApplicationID = propertyText(gtkReply);
        hints.kdeDesktopFile = propertyText(kdeReply);
        window.owningApplication = x11::owningApplication(hints, x11::procCommandName);

        std::optional<x11::WindowType> type;
        for (const std::uint32_t atom : propertyValues32(typeReply)) {
            const auto known = std::find(atoms.begin() + firstWindowType, atoms.end(), atom);
            if (known != atoms.end()) {
                type = static_cast<x11::WindowType>(known - (atoms.begin() + firstWindowType));
                break;
            }
        }
        const std::vector<std::uint32_t> states = propertyValues32(stateReply);
        const auto hasState = [&states](xcb_atom_t atom) { return std::ranges::find(states, atom) != states.end(); };
        window.windowLayer = x11::windowLayer(type, hasState(atoms[netWmStateAbove]), attributes->override_redirect);
        window.isOnScreen =
            x11::isOnScreen(viewable, hasState(atoms[netWmStateHidden]), firstValue32(desktopReply), currentDesktop);
        return CollectedWindow{std::move(window), attributes->map_state != XCB_MAP_STATE_UNMAPPED};
    }
};

}  // namespace

std::unique_ptr<ShareableContent> x11::makeX11ShareableContent() { return std::make_unique<X11ShareableContent>(); }

}  // namespace kelvane::platform
