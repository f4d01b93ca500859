#include "platform/linux/wayland/output_still.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "platform/linux/wayland/screencopy_protocol.h"
#include "platform/linux/wayland/wayland_connection.h"
#include "platform/linux/wayland/wayland_outputs.h"

namespace kelvane::platform::wayland {

namespace {

// What the compositor said about the frame so far.
struct FrameState {
    std::uint32_t format = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool described = false;
    bool yInvert = false;
    bool ready = false;
    bool failed = false;
};

FrameState& stateOf(void* data) { return *static_cast<FrameState*>(data); }

const ScreencopyFrameListener kFrameListener = {
    [](void* data, wl_proxy*, std::uint32_t format, std::uint32_t width, std::uint32_t height, std::uint32_t stride) {
        auto& state = stateOf(data);
        state.format = format;
        state.width = static_cast<int>(width);
        state.height = static_cast<int>(height);
        state.stride = static_cast<int>(stride);
        state.described = true;
    },
    [](void* data, wl_proxy*, std::uint32_t flags) { stateOf(data).yInvert = (flags & kScreencopyYInvert) != 0; },
    [](void* data, wl_proxy*, std::uint32_t, std::uint32_t, std::uint32_t) { stateOf(data).ready = true; },
    [](void* data, wl_proxy*) { stateOf(data).failed = true; },
};

// Both keep the bytes in B, G, R, alpha-or-unused order in memory.
bool isFourByteBGR(std::uint32_t format) { return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888; }

// Shared memory the compositor copies into, and the wl_buffer naming it.
class SharedBuffer {
public:
    SharedBuffer(wl_shm* shm, const FrameState& frame)
        : size_(static_cast<std::size_t>(frame.stride) * frame.height) {
        fd_ = memfd_create("kelvane-output-still", MFD_CLOEXEC);
        if (fd_ < 0 || ftruncate(fd_, static_cast<off_t>(size_)) < 0) return;
        void* mapped = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (mapped == MAP_FAILED) return;
        data_ = static_cast<std::uint8_t*>(mapped);
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd_, static_cast<std::int32_t>(size_));
        buffer_ = wl_shm_pool_create_buffer(pool, 0, frame.width, frame.height, frame.stride, frame.format);
        wl_shm_pool_destroy(pool);
    }
    ~SharedBuffer() {
        if (buffer_ != nullptr) wl_buffer_destroy(buffer_);
        if (data_ != nullptr) munmap(data_, size_);
        if (fd_ >= 0) close(fd_);
    }
    SharedBuffer(const SharedBuffer&) = delete;
    SharedBuffer& operator=(const SharedBuffer&) = delete;

    wl_buffer* buffer() const { return buffer_; }
    const std::uint8_t* data() const { return data_; }

private:
    std::size_t size_;
    int fd_ = -1;
    std::uint8_t* data_ = nullptr;
    wl_buffer* buffer_ = nullptr;
};

// The copied picture, top row first.
OutputStill stillFrom(const SharedBuffer& shared, const FrameState& frame) {
    OutputStill still{std::vector<std::uint8_t>(static_cast<std::size_t>(frame.stride) * frame.height), frame.width,
                      frame.height, frame.stride};
    for (int row = 0; row < frame.height; ++row) {
        const int from = frame.yInvert ? frame.height - 1 - row : row;
        std::memcpy(still.pixels.data() + static_cast<std::size_t>(row) * frame.stride,
                    shared.data() + static_cast<std::size_t>(from) * frame.stride, static_cast<std::size_t>(frame.stride));
    }
    return still;
}

}  // namespace

std::optional<OutputStill> grabOutputStill(std::uint32_t displayID, std::chrono::milliseconds limit) {
    try {
        const WaylandConnection connection(limit);
        const WaylandGlobal* managerGlobal = connection.find(kScreencopyManagerInterface.name);
        const WaylandGlobal* shmGlobal = connection.find("wl_shm");
        if (managerGlobal == nullptr || shmGlobal == nullptr) return std::nullopt;
        const BoundOutputs outputs(connection);
        wl_output* output = outputs.outputWithDisplayID(displayID);
        if (output == nullptr) return std::nullopt;

        auto* shm = static_cast<wl_shm*>(connection.bind(*shmGlobal, &wl_shm_interface, 1));
        auto* manager = static_cast<wl_proxy*>(connection.bind(*managerGlobal, &kScreencopyManagerInterface, 1));
        wl_proxy* frame = captureOutput(manager, output);
        FrameState state;
        wl_proxy_add_listener(frame, reinterpret_cast<void (**)(void)>(const_cast<ScreencopyFrameListener*>(&kFrameListener)),
                              &state);
        std::optional<OutputStill> still;
        const auto release = [&] {
            destroyScreencopyFrame(frame);
            destroyScreencopyManager(manager);
            wl_shm_destroy(shm);
        };
        try {
            connection.dispatchUntil([&state] { return state.described || state.failed; }, limit);
            if (state.described && isFourByteBGR(state.format) && state.width > 0 && state.height > 0 &&
                state.stride >= state.width * 4) {
                const SharedBuffer shared(shm, state);
                if (shared.buffer() != nullptr) {
                    copyFrame(frame, shared.buffer());
                    connection.dispatchUntil([&state] { return state.ready || state.failed; }, limit);
                    if (state.ready) still = stillFrom(shared, state);
                }
            }
        } catch (const WaylandError&) {
            release();
            throw;
        }
        release();
        return still;
    } catch (const WaylandError&) {
        return std::nullopt;
    }
}

}  // namespace kelvane::platform::wayland
