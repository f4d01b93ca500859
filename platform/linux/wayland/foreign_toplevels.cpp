#include "platform/linux/wayland/foreign_toplevels.h"

#include <algorithm>
#include <memory>
#include <span>

#include "platform/linux/wayland/foreign_toplevel_protocol.h"

namespace kelvane::platform::wayland {

namespace {

// What one handle's events fill in.
struct HandleState {
    const BoundOutputs* outputs;
    wl_proxy* handle;
    ToplevelInfo info;
};

struct Reading {
    const BoundOutputs* outputs;
    std::vector<std::unique_ptr<HandleState>> handles;
};

ToplevelInfo& infoOf(void* data) { return static_cast<HandleState*>(data)->info; }

void onTitle(void* data, wl_proxy*, const char* title) { infoOf(data).title = title; }
void onAppID(void* data, wl_proxy*, const char* appID) { infoOf(data).appID = appID; }
void onOutputEnter(void* data, wl_proxy*, wl_output* output) {
    auto& state = *static_cast<HandleState*>(data);
    if (!state.info.output) state.info.output = state.outputs->indexOf(output);
}
void onOutputLeave(void* data, wl_proxy*, wl_output* output) {
    auto& state = *static_cast<HandleState*>(data);
    if (state.info.output && state.info.output == state.outputs->indexOf(output)) state.info.output.reset();
}
void onState(void* data, wl_proxy*, wl_array* states) {
    const std::span<const std::uint32_t> values(static_cast<const std::uint32_t*>(states->data),
                                                states->size / sizeof(std::uint32_t));
    const auto has = [&values](ForeignToplevelState state) {
        return std::ranges::find(values, static_cast<std::uint32_t>(state)) != values.end();
    };
    infoOf(data).minimized = has(ForeignToplevelState::minimized);
    infoOf(data).activated = has(ForeignToplevelState::activated);
}
void onDone(void*, wl_proxy*) {}
void onClosed(void*, wl_proxy*) {}
void onParent(void*, wl_proxy*, wl_proxy*) {}
const ForeignToplevelHandleListener kHandleListener = {onTitle, onAppID,  onOutputEnter, onOutputLeave,
                                                       onState, onDone,   onClosed,      onParent};

void onToplevel(void* data, wl_proxy*, wl_proxy* handle) {
    auto& reading = *static_cast<Reading*>(data);
    auto& state = *reading.handles.emplace_back(std::make_unique<HandleState>(HandleState{reading.outputs, handle, {}}));
    wl_proxy_add_listener(handle, reinterpret_cast<void (**)(void)>(const_cast<ForeignToplevelHandleListener*>(&kHandleListener)),
                          &state);
}
void onFinished(void*, wl_proxy*) {}
const ForeignToplevelManagerListener kManagerListener = {onToplevel, onFinished};

}  // namespace

std::optional<std::vector<ToplevelInfo>> readToplevels(const WaylandConnection& connection,
                                                       const BoundOutputs& outputs) {
    const WaylandGlobal* global = connection.find(kForeignToplevelManagerInterface.name);
    if (global == nullptr) return std::nullopt;
    auto* manager = static_cast<wl_proxy*>(connection.bind(*global, &kForeignToplevelManagerInterface, 3));
    Reading reading{&outputs, {}};
    wl_proxy_add_listener(manager, reinterpret_cast<void (**)(void)>(const_cast<ForeignToplevelManagerListener*>(&kManagerListener)),
                          &reading);
    const auto release = [&] {
        for (const auto& state : reading.handles) destroyForeignToplevelHandle(state->handle);
        stopForeignToplevelManager(manager);
        wl_proxy_destroy(manager);
    };
    try {
        // The list comes in answer to the bind; each window's details right after it.
        connection.roundtrip();
    } catch (...) {
        release();
        throw;
    }
    std::vector<ToplevelInfo> toplevels;
    for (const auto& state : reading.handles) toplevels.push_back(state->info);
    release();
    return toplevels;
}

std::vector<ShareableWindow> windowsFromToplevels(const std::vector<ToplevelInfo>& toplevels,
                                                  const std::vector<ShareableDisplay>& displays) {
    std::vector<ShareableWindow> windows;
    for (std::size_t i = 0; i < toplevels.size(); ++i) {
        const ToplevelInfo& toplevel = toplevels[i];
        ShareableWindow window;
        window.windowID = static_cast<std::uint32_t>(i + 1);
        window.title = toplevel.title;
        if (toplevel.appID) window.owningApplication = RunningApplication{toplevel.appID, toplevel.appID, std::nullopt};
        const std::size_t display = toplevel.output.value_or(0);
        if (display < displays.size()) window.frame = displays[display].frame;
        window.isOnScreen = !toplevel.minimized;
        windows.push_back(window);
    }
    std::ranges::stable_partition(windows, [&](const ShareableWindow& window) {
        return toplevels[window.windowID - 1].activated;
    });
    return windows;
}

}  // namespace kelvane::platform::wayland
