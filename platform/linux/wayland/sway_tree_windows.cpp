#include "platform/linux/wayland/sway_tree_windows.h"

#include <nlohmann/json.hpp>

#include <map>

#include "platform/linux/x11/window_properties.h"

namespace kelvane::platform::wayland {

namespace {

using nlohmann::json;

std::optional<std::string> textField(const json& node, const char* key) {
    const auto found = node.find(key);
    if (found == node.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<std::int64_t> numberField(const json& node, const char* key) {
    const auto found = node.find(key);
    if (found == node.end() || !found->is_number_integer()) return std::nullopt;
    return found->get<std::int64_t>();
}

// A node's list of child nodes, without copying it.
const json& children(const json& node, const char* key) {
    static const json none = json::array();
    const auto found = node.find(key);
    return found != node.end() && found->is_array() ? *found : none;
}

Rect rectField(const json& node, const char* key) {
    const json& r = node.value(key, json::object());
    return Rect{r.value("x", 0.0), r.value("y", 0.0), r.value("width", 0.0), r.value("height", 0.0)};
}

// An Xwayland window's type as sway names it.
std::optional<x11::WindowType> xwaylandWindowType(const std::optional<std::string>& name) {
    static const std::map<std::string, x11::WindowType, std::less<>> types = {
        {"normal", x11::WindowType::normal},
        {"dialog", x11::WindowType::dialog},
        {"utility", x11::WindowType::utility},
        {"toolbar", x11::WindowType::toolbar},
        {"splash", x11::WindowType::splash},
        {"menu", x11::WindowType::menu},
        {"dropdown_menu", x11::WindowType::dropdownMenu},
        {"popup_menu", x11::WindowType::popupMenu},
        {"tooltip", x11::WindowType::tooltip},
        {"notification", x11::WindowType::notification},
    };
    if (!name) return std::nullopt;
    const auto found = types.find(*name);
    return found == types.end() ? std::nullopt : std::optional(found->second);
}

class TreeReader {
public:
    explicit TreeReader(const CommandNameReader& commandName) : commandName_(commandName) {}

    void output(const json& node) {
        const std::optional<std::string> shown = textField(node, "current_workspace");
        for (const json& workspace : children(node, "nodes")) {
            const bool scratchpad = textField(workspace, "name") == "__i3_scratch";
            const bool onScreen = !scratchpad && shown && textField(workspace, "name") == shown;
            auto& list = scratchpad ? scratchpad_ : onScreen ? shown_ : hidden_;
            const json& floating = children(workspace, "floating_nodes");
            for (auto it = floating.rbegin(); it != floating.rend(); ++it) containers(*it, onScreen, list);
            for (const json& child : children(workspace, "nodes")) containers(child, onScreen, list);
        }
    }

    std::vector<ShareableWindow> frontToBack() && {
        shown_.insert(shown_.end(), hidden_.begin(), hidden_.end());
        shown_.insert(shown_.end(), scratchpad_.begin(), scratchpad_.end());
        return std::move(shown_);
    }

private:
    void containers(const json& node, bool onScreen, std::vector<ShareableWindow>& list) {
        if (node.contains("pid") && (node.contains("app_id") || node.contains("window_properties"))) {
            list.push_back(window(node, onScreen));
        }
        for (const json& child : children(node, "floating_nodes")) containers(child, onScreen, list);
        for (const json& child : children(node, "nodes")) containers(child, onScreen, list);
    }

    ShareableWindow window(const json& node, bool onScreen) {
        ShareableWindow window;
        window.windowID = static_cast<std::uint32_t>(numberField(node, "id").value_or(0));
        window.title = textField(node, "name");
        const Rect outer = rectField(node, "rect");
        const Rect inner = rectField(node, "window_rect");
        window.frame = Rect{outer.x + inner.x, outer.y + inner.y, inner.width, inner.height};
        window.isOnScreen = onScreen;
        std::optional<std::int32_t> pid;
        if (const auto number = numberField(node, "pid"); number && *number > 0) pid = static_cast<std::int32_t>(*number);

        if (const auto appID = textField(node, "app_id")) {
            RunningApplication application;
            application.applicationName = pid ? commandName_(*pid) : std::nullopt;
            if (!application.applicationName) application.applicationName = appID;
            application.bundleIdentifier = appID;
            application.processID = pid;
            window.owningApplication = application;
        } else if (const auto x = node.find("window_properties"); x != node.end() && x->is_object()) {
            x11::ApplicationHints hints;
            const auto className = textField(*x, "class");
            const auto instance = textField(*x, "instance");
            if (className || instance) hints.wmClass = x11::WmClass{instance.value_or(""), className.value_or("")};
            hints.processID = pid;
            window.owningApplication = x11::owningApplication(hints, commandName_);
            window.windowLayer = x11::windowLayer(xwaylandWindowType(textField(*x, "window_type")), false, false);
        } else if (pid) {
            window.owningApplication = RunningApplication{commandName_(*pid), std::nullopt, pid};
        }
        return window;
    }

    const CommandNameReader& commandName_;
    std::vector<ShareableWindow> shown_, hidden_, scratchpad_;
};

}  // namespace

std::optional<std::vector<ShareableWindow>> windowsFromSwayTree(std::string_view text,
                                                                const CommandNameReader& commandName) {
    const json tree = json::parse(text, nullptr, false);
    if (!tree.is_object() || tree.value("type", "") != "root") return std::nullopt;
    TreeReader reader(commandName);
    for (const json& output : children(tree, "nodes")) reader.output(output);
    return std::move(reader).frontToBack();
}

}  // namespace kelvane::platform::wayland
