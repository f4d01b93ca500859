#include "platform/linux/xcursor/theme_cursor_names.h"

#include <array>

namespace kelvane::platform::xcursor {
namespace {

constexpr std::array<std::string_view, 2> arrow = {"default", "left_ptr"};
constexpr std::array<std::string_view, 2> iBeam = {"text", "xterm"};
constexpr std::array<std::string_view, 1> iBeamVertical = {"vertical-text"};
constexpr std::array<std::string_view, 2> pointingHand = {"pointer", "hand2"};
constexpr std::array<std::string_view, 2> dragCopy = {"copy", "dnd-copy"};
constexpr std::array<std::string_view, 2> dragLink = {"alias", "dnd-link"};
constexpr std::array<std::string_view, 1> contextualMenu = {"context-menu"};
constexpr std::array<std::string_view, 2> crosshair = {"crosshair", "cross"};
constexpr std::array<std::string_view, 3> openHand = {"grab", "openhand", "hand1"};
constexpr std::array<std::string_view, 2> closedHand = {"grabbing", "closedhand"};
constexpr std::array<std::string_view, 2> resizeLeft = {"w-resize", "left_side"};
constexpr std::array<std::string_view, 2> resizeRight = {"e-resize", "right_side"};
constexpr std::array<std::string_view, 3> resizeLeftRight = {"ew-resize", "col-resize", "sb_h_double_arrow"};
constexpr std::array<std::string_view, 2> resizeUp = {"n-resize", "top_side"};
constexpr std::array<std::string_view, 2> resizeDown = {"s-resize", "bottom_side"};
constexpr std::array<std::string_view, 3> resizeUpDown = {"ns-resize", "row-resize", "sb_v_double_arrow"};
constexpr std::array<std::string_view, 2> notAllowed = {"not-allowed", "crossed_circle"};

}  // namespace

std::span<const std::string_view> themeCursorNames(StandardCursor cursor) {
    switch (cursor) {
        case StandardCursor::arrow: return arrow;
        case StandardCursor::iBeam: return iBeam;
        case StandardCursor::iBeamForVerticalLayout: return iBeamVertical;
        case StandardCursor::pointingHand: return pointingHand;
        case StandardCursor::dragCopy: return dragCopy;
        case StandardCursor::dragLink: return dragLink;
        case StandardCursor::contextualMenu: return contextualMenu;
        case StandardCursor::crosshair: return crosshair;
        case StandardCursor::openHand: return openHand;
        case StandardCursor::closedHand: return closedHand;
        case StandardCursor::resizeLeft: return resizeLeft;
        case StandardCursor::resizeRight: return resizeRight;
        case StandardCursor::resizeLeftRight: return resizeLeftRight;
        case StandardCursor::resizeUp: return resizeUp;
        case StandardCursor::resizeDown: return resizeDown;
        case StandardCursor::resizeUpDown: return resizeUpDown;
        case StandardCursor::operationNotAllowed: return notAllowed;
    }
    return {};
}

}  // namespace kelvane::platform::xcursor
