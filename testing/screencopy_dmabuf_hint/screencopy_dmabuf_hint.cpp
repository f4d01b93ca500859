// Preloaded into xdg-desktop-portal-wlr on the headless test desktop only.
//
// The portal (0.7.0) will not start a screen-cast stream unless the compositor
// offers a DMA-BUF format for screencopy frames: it answers Start with an error and
// logs "unable to receive a valid format from wlr_screencopy". A compositor on the
// software renderer, as headless test machines have, offers shared memory only. This
// library wraps every zwlr_screencopy_frame_v1 listener the portal installs so that
// each `buffer` event (a shared-memory format) is followed by a `linux_dmabuf` event
// for the same picture. The portal then accepts the frame, negotiates with PipeWire,
// finds no usable DMA-BUF path and falls back to the shared-memory buffers, which are
// the ones the compositor really fills.
#include <dlfcn.h>
#include <wayland-client-core.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Event order of zwlr_screencopy_frame_v1 (versions 1 to 3).
enum FrameEvent { Buffer, Flags, Ready, Failed, Damage, LinuxDmabuf, BufferDone, EventCount };

using Handler = void (*)();
using BufferHandler = void (*)(void*, wl_proxy*, uint32_t format, uint32_t width, uint32_t height, uint32_t stride);
using DmabufHandler = void (*)(void*, wl_proxy*, uint32_t fourcc, uint32_t width, uint32_t height);

// libwayland dispatches through this table and hands back its address from
// wl_proxy_get_listener, which is how a wrapped handler finds the original table.
struct WrappedListener {
    Handler handlers[EventCount];
    const Handler* original;
};

constexpr uint32_t fourcc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

// wl_shm names its two oldest formats 0 and 1; every other wl_shm code is already
// the DRM fourcc.
uint32_t drmFormatOf(uint32_t shmFormat) {
    if (shmFormat == 0) return fourcc('A', 'R', '2', '4');
    if (shmFormat == 1) return fourcc('X', 'R', '2', '4');
    return shmFormat;
}

void bufferThenDmabuf(void* data, wl_proxy* frame, uint32_t format, uint32_t width, uint32_t height, uint32_t stride) {
    auto* wrapped = static_cast<const WrappedListener*>(wl_proxy_get_listener(frame));
    if (auto original = reinterpret_cast<BufferHandler>(wrapped->original[Buffer])) {
        original(data, frame, format, width, height, stride);
    }
    if (auto dmabuf = reinterpret_cast<DmabufHandler>(wrapped->original[LinuxDmabuf])) {
        dmabuf(data, frame, drmFormatOf(format), width, height);
    }
}

using AddListener = int (*)(wl_proxy*, void (**)(void), void*);

AddListener realAddListener() {
    static auto real = reinterpret_cast<AddListener>(dlsym(RTLD_NEXT, "wl_proxy_add_listener"));
    return real;
}

// One wrapped table per distinct original table, kept for the life of the process
// because libwayland keeps pointing at it.
const WrappedListener* wrap(const Handler* original) {
    static std::mutex lock;
    static std::vector<WrappedListener*> tables;
    std::lock_guard guard(lock);
    for (auto* table : tables) {
        if (table->original == original) return table;
    }
    auto* table = new WrappedListener{};
    std::memcpy(table->handlers, original, sizeof table->handlers);
    table->handlers[Buffer] = reinterpret_cast<Handler>(&bufferThenDmabuf);
    table->original = original;
    tables.push_back(table);
    return table;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int wl_proxy_add_listener(wl_proxy* proxy, void (**implementation)(void), void* data) {
    if (std::strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") == 0) {
        auto* table = wrap(const_cast<const Handler*>(implementation));
        implementation = const_cast<Handler*>(table->handlers);
    }
    return realAddListener()(proxy, implementation, data);
}
