#pragma once
// Video frames given back by their last holder, kept to be filled again: a fresh 1080p
// frame costs 8 MB of pages the kernel clears first, and all of it written, where a
// frame coming back needs only what changed since it was delivered.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/sample_buffer.h"

namespace kelvane::platform::x11 {

class FramePool {
public:
    // Keeps at most `kept` frames waiting; more given back are freed.
    explicit FramePool(std::size_t kept);

    // A frame given back with these dimensions, or nothing. Frames of other sizes are freed.
    std::optional<VideoFrame> take(int width, int height);
    // What a delivered frame's buffer gives its frame back through. Safe from any thread,
    // also once the pool is gone.
    SampleBuffer::VideoRecycler recycler() const;

private:
    struct Shelf {
        std::mutex mutex;
        std::vector<VideoFrame> frames;
        std::size_t kept = 0;
    };
    std::shared_ptr<Shelf> shelf_ = std::make_shared<Shelf>();
};

}  // namespace kelvane::platform::x11
