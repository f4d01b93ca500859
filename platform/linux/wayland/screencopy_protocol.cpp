#include "platform/linux/wayland/screencopy_protocol.h"

namespace kelvane::platform::wayland {

namespace {

const wl_interface* const kCaptureOutputTypes[] = {&kScreencopyFrameInterface, nullptr, &wl_output_interface};
const wl_interface* const kBufferType[] = {&wl_buffer_interface};

// wl_message wants non-const type arrays; libwayland only reads them.
const wl_interface** types(const wl_interface* const* list) { return const_cast<const wl_interface**>(list); }

const wl_message kManagerRequests[] = {
    {"capture_output", "nio", types(kCaptureOutputTypes)},
    {"destroy", "", nullptr},
};

const wl_message kFrameRequests[] = {
    {"copy", "o", types(kBufferType)},
    {"destroy", "", nullptr},
};
const wl_message kFrameEvents[] = {
    {"buffer", "uuuu", nullptr},
    {"flags", "u", nullptr},
    {"ready", "uuu", nullptr},
    {"failed", "", nullptr},
};

constexpr std::uint32_t kCaptureOutputRequest = 0;
constexpr std::uint32_t kManagerDestroyRequest = 1;
constexpr std::uint32_t kCopyRequest = 0;
constexpr std::uint32_t kFrameDestroyRequest = 1;

}  // namespace

const wl_interface kScreencopyManagerInterface = {
    "zwlr_screencopy_manager_v1", 1, 2, kManagerRequests, 0, nullptr,
};
const wl_interface kScreencopyFrameInterface = {
    "zwlr_screencopy_frame_v1", 1, 2, kFrameRequests, 4, kFrameEvents,
};

wl_proxy* captureOutput(wl_proxy* manager, wl_output* output) {
    return wl_proxy_marshal_flags(manager, kCaptureOutputRequest, &kScreencopyFrameInterface,
                                  wl_proxy_get_version(manager), 0, nullptr, 0, output);
}

void copyFrame(wl_proxy* frame, wl_buffer* buffer) {
    wl_proxy_marshal_flags(frame, kCopyRequest, nullptr, wl_proxy_get_version(frame), 0, buffer);
}

void destroyScreencopyFrame(wl_proxy* frame) {
    wl_proxy_marshal_flags(frame, kFrameDestroyRequest, nullptr, wl_proxy_get_version(frame), WL_MARSHAL_FLAG_DESTROY);
}

void destroyScreencopyManager(wl_proxy* manager) {
    wl_proxy_marshal_flags(manager, kManagerDestroyRequest, nullptr, wl_proxy_get_version(manager),
                           WL_MARSHAL_FLAG_DESTROY);
}

}  // namespace kelvane::platform::wayland
