#pragma once
// Client side of wlroots' screencopy protocol at version 1: a copy of an output's current
// picture into a shared-memory buffer the client provides. Like the foreign-toplevel
// protocol, its description is not installed with Debian's Wayland packages, so the
// interfaces are written out here, with only the requests a one-picture grab uses.
#include <wayland-client.h>

#include <cstdint>

namespace kelvane::platform::wayland {

extern const wl_interface kScreencopyManagerInterface;  // zwlr_screencopy_manager_v1
extern const wl_interface kScreencopyFrameInterface;    // zwlr_screencopy_frame_v1

// Event handlers of a frame at version 1, in the protocol's event order.
struct ScreencopyFrameListener {
    // The buffer the client must provide: a wl_shm format, size and row stride.
    void (*buffer)(void* data, wl_proxy* frame, std::uint32_t format, std::uint32_t width, std::uint32_t height,
                   std::uint32_t stride);
    void (*flags)(void* data, wl_proxy* frame, std::uint32_t flags);
    void (*ready)(void* data, wl_proxy* frame, std::uint32_t secondsHigh, std::uint32_t secondsLow,
                  std::uint32_t nanoseconds);
    void (*failed)(void* data, wl_proxy* frame);
};

// The frame's flags: rows come bottom row first.
constexpr std::uint32_t kScreencopyYInvert = 1;

// A frame of `output`'s picture, without the cursor.
wl_proxy* captureOutput(wl_proxy* manager, wl_output* output);
// Asks the compositor to copy the picture into `buffer`; ready or failed follows.
void copyFrame(wl_proxy* frame, wl_buffer* buffer);
void destroyScreencopyFrame(wl_proxy* frame);
void destroyScreencopyManager(wl_proxy* manager);

}  // namespace kelvane::platform::wayland
