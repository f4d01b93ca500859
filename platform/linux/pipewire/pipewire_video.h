#pragma once
// One PipeWire video stream read on PipeWire's own thread: the screen-cast node of a
// portal session, negotiated as BGRx or BGRA in shared memory (MemFd or MemPtr), with
// the buffers' header (presentation time) and damage metadata.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/linux/pipewire/damaged_picture.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct spa_pod;

namespace kelvane::platform::pipewire {

struct VideoBuffer {
    BufferPixels pixels;
    // What changed, when the buffer says; nothing means all of it.
    std::optional<std::span<const PixelRect>> damage;
    // When the picture was shown, in CLOCK_MONOTONIC nanoseconds, when the buffer says.
    std::optional<std::int64_t> presentedNs;
};

class PipeWireVideo {
public:
    // Connects to `nodeId` on the remote behind `remoteFd`, which it takes over, asking for
    // at most `framesPerSecond`. `onBuffer` and `onError` run on PipeWire's thread, the
    // latter once, when the stream or the connection fails. Throws CaptureStreamError.
    PipeWireVideo(int remoteFd, std::uint32_t nodeId, int framesPerSecond,
                  std::function<void(const VideoBuffer&)> onBuffer, std::function<void(const std::string&)> onError);
    // Once it returns, neither callback runs again.
    ~PipeWireVideo();
    PipeWireVideo(const PipeWireVideo&) = delete;
    PipeWireVideo& operator=(const PipeWireVideo&) = delete;

private:
    struct Listeners;
    // Ends the stream and the connection; safe on a partly made object.
    void release();
    void fail(const std::string& description);
    void formatChanged(const spa_pod* format);
    void process();

    std::function<void(const VideoBuffer&)> onBuffer_;
    std::function<void(const std::string&)> onError_;
    bool failed_ = false;
    int width_ = 0;
    int height_ = 0;
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    Listeners* listeners_ = nullptr;
};

}  // namespace kelvane::platform::pipewire
