#include "platform/linux/x11/frame_pool.h"

#include <algorithm>

namespace kelvane::platform::x11 {

FramePool::FramePool(std::size_t kept) { shelf_->kept = kept; }

std::optional<VideoFrame> FramePool::take(int width, int height) {
    std::vector<VideoFrame> unfit;
    std::optional<VideoFrame> taken;
    {
        std::lock_guard lock(shelf_->mutex);
        auto& frames = shelf_->frames;
        const auto fits = [&](const VideoFrame& frame) { return frame.width == width && frame.height == height; };
        const auto split = std::stable_partition(frames.begin(), frames.end(), fits);
        unfit.assign(std::make_move_iterator(split), std::make_move_iterator(frames.end()));
        frames.erase(split, frames.end());
        if (!frames.empty()) {
            taken = std::move(frames.back());
            frames.pop_back();
        }
    }
    // Freed outside the lock: unmapping megabytes takes a while.
    return taken;
}

SampleBuffer::VideoRecycler FramePool::recycler() const {
    return [weakShelf = std::weak_ptr<Shelf>(shelf_)](VideoFrame&& frame) {
        const auto shelf = weakShelf.lock();
        if (!shelf || frame.pixels.empty()) return;
        std::lock_guard lock(shelf->mutex);
        if (shelf->frames.size() < shelf->kept) shelf->frames.push_back(std::move(frame));
    };
}

}  // namespace kelvane::platform::x11
