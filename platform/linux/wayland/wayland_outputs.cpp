#include "platform/linux/wayland/wayland_outputs.h"

#include <memory>

#include "xdg-output-unstable-v1-client-protocol.h"

namespace kelvane::platform::wayland {

struct BoundOutputs::Bound {
    OutputInfo info;
    wl_output* output = nullptr;
    zxdg_output_v1* logical = nullptr;
    bool releasable = false;  // version 3 added the release request

    ~Bound() {
        if (logical != nullptr) zxdg_output_v1_destroy(logical);
        if (output != nullptr && releasable) wl_output_release(output);
        if (output != nullptr && !releasable) wl_output_destroy(output);
    }
};

namespace {

OutputInfo& infoOf(void* data) { return *static_cast<OutputInfo*>(data); }

void outputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
                    const char*, const char*, std::int32_t transform) {
    infoOf(data).x = x;
    infoOf(data).y = y;
    infoOf(data).transform = transform;
}
void outputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
    infoOf(data).modeWidth = width;
    infoOf(data).modeHeight = height;
}
void outputDone(void*, wl_output*) {}
void outputScale(void* data, wl_output*, std::int32_t factor) { infoOf(data).scale = factor; }
void outputName(void* data, wl_output*, const char* name) { infoOf(data).name = name; }
void outputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode,  outputDone,
                                            outputScale,    outputName,  outputDescription};

void logicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
    infoOf(data).logicalX = x;
    infoOf(data).logicalY = y;
}
void logicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
    infoOf(data).logicalWidth = width;
    infoOf(data).logicalHeight = height;
}
void logicalDone(void*, zxdg_output_v1*) {}
// wl_output's own name wins: it names the connector in every version that has it.
void logicalName(void* data, zxdg_output_v1*, const char* name) {
    if (infoOf(data).name.empty()) infoOf(data).name = name;
}
void logicalDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kLogicalListener = {logicalPosition, logicalSize, logicalDone, logicalName,
                                                  logicalDescription};

bool turnedSideways(std::int32_t transform) {
    // 90 and 270 degrees, plain or flipped.
    return (transform & WL_OUTPUT_TRANSFORM_90) != 0;
}

}  // namespace

BoundOutputs::BoundOutputs(const WaylandConnection& connection) {
    zxdg_output_manager_v1* manager = nullptr;
    if (const WaylandGlobal* global = connection.find(zxdg_output_manager_v1_interface.name)) {
        manager = static_cast<zxdg_output_manager_v1*>(connection.bind(*global, &zxdg_output_manager_v1_interface, 3));
    }
    for (const WaylandGlobal& global : connection.globals()) {
        if (global.interface != wl_output_interface.name) continue;
        Bound& entry = *bound_.emplace_back(std::make_unique<Bound>());
        entry.info.globalName = global.name;
        entry.releasable = global.version >= 3;
        // Version 4 adds the name.
        entry.output = static_cast<wl_output*>(connection.bind(global, &wl_output_interface, 4));
        wl_output_add_listener(entry.output, &kOutputListener, &entry.info);
        if (manager != nullptr) {
            entry.logical = zxdg_output_manager_v1_get_xdg_output(manager, entry.output);
            zxdg_output_v1_add_listener(entry.logical, &kLogicalListener, &entry.info);
        }
    }
    try {
        connection.roundtrip();
    } catch (...) {
        if (manager != nullptr) zxdg_output_manager_v1_destroy(manager);
        throw;
    }
    if (manager != nullptr) zxdg_output_manager_v1_destroy(manager);
    for (const auto& entry : bound_) infos_.push_back(entry->info);
}

BoundOutputs::~BoundOutputs() = default;

std::optional<std::size_t> BoundOutputs::indexOf(const wl_output* output) const {
    for (std::size_t i = 0; i < bound_.size(); ++i) {
        if (bound_[i]->output == output) return i;
    }
    return std::nullopt;
}

wl_output* BoundOutputs::outputWithDisplayID(std::uint32_t displayID) const {
    for (const auto& bound : bound_) {
        if (displayIDOf(bound->info) == displayID) return bound->output;
    }
    return nullptr;
}

std::uint32_t displayIDOf(const OutputInfo& output) {
    if (output.name.empty()) return output.globalName;
    // 32-bit FNV-1a.
    std::uint32_t hash = 2166136261u;
    for (const unsigned char byte : output.name) {
        hash = (hash ^ byte) * 16777619u;
    }
    return hash;
}

std::vector<ShareableDisplay> displaysFromOutputs(const std::vector<OutputInfo>& outputs) {
    std::vector<ShareableDisplay> displays;
    for (const OutputInfo& output : outputs) {
        const bool sideways = turnedSideways(output.transform);
        ShareableDisplay display;
        display.displayID = displayIDOf(output);
        display.pixelWidth = static_cast<std::uint32_t>(sideways ? output.modeHeight : output.modeWidth);
        display.pixelHeight = static_cast<std::uint32_t>(sideways ? output.modeWidth : output.modeHeight);
        if (output.logicalX && output.logicalY && output.logicalWidth && output.logicalHeight) {
            display.frame = Rect{double(*output.logicalX), double(*output.logicalY), double(*output.logicalWidth),
                                 double(*output.logicalHeight)};
        } else {
            const double scale = output.scale > 0 ? output.scale : 1;
            display.frame = Rect{double(output.x), double(output.y), display.pixelWidth / scale,
                                 display.pixelHeight / scale};
        }
        displays.push_back(display);
    }
    return displays;
}

}  // namespace kelvane::platform::wayland
