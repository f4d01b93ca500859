#include "platform/linux/pipewire/damaged_picture.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/x11/frame_fitting.h"

namespace kelvane::platform::pipewire {
namespace {

// Past this many changed rectangles between reads, one rectangle around them all is kept.
constexpr std::size_t mostRects = 16;

PixelRect around(const PixelRect& a, const PixelRect& b) {
    const int left = std::min(a.x, b.x);
    const int top = std::min(a.y, b.y);
    return {left, top, std::max(a.x + a.width, b.x + b.width) - left, std::max(a.y + a.height, b.y + b.height) - top};
}

bool isEmpty(const PixelRect& r) { return r.width <= 0 || r.height <= 0; }

}  // namespace

PixelRect intersection(const PixelRect& a, const PixelRect& b) {
    const int left = std::max(a.x, b.x);
    const int top = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width);
    const int bottom = std::min(a.y + a.height, b.y + b.height);
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

bool DamagedPicture::apply(const BufferPixels& buffer, std::optional<std::span<const PixelRect>> damage) {
    if (!buffer.pixels || buffer.width <= 0 || buffer.height <= 0 || buffer.stride < buffer.width * 4) return false;
    const PixelRect bounds{0, 0, buffer.width, buffer.height};
    if (buffer.width != width_ || buffer.height != height_) {
        width_ = buffer.width;
        height_ = buffer.height;
        pixels_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
        changed_.clear();
        damage.reset();
    }
    bool taken = false;
    const auto take = [&](const PixelRect& rect) {
        const PixelRect clipped = intersection(rect, bounds);
        if (isEmpty(clipped)) return;
        copyRect(buffer, clipped);
        changed_.push_back(clipped);
        taken = true;
    };
    if (damage) {
        for (const PixelRect& rect : *damage) take(rect);
    } else {
        take(bounds);
    }
    if (changed_.size() > mostRects) {
        PixelRect all = changed_.front();
        for (const PixelRect& rect : changed_) all = around(all, rect);
        changed_.assign(1, all);
    }
    return taken;
}

void DamagedPicture::copyRect(const BufferPixels& buffer, const PixelRect& rect) {
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    for (int row = rect.y; row < rect.y + rect.height; ++row) {
        // The fourth byte of BGRx is undefined; the picture is opaque either way.
        x11::copyOpaque(pixels_.data() + row * rowBytes + static_cast<std::size_t>(rect.x) * 4,
                        buffer.pixels + static_cast<std::size_t>(row) * buffer.stride +
                            static_cast<std::size_t>(rect.x) * 4,
                        rect.width);
    }
}

bool DamagedPicture::damaged(const PixelRect& area) const {
    return std::any_of(changed_.begin(), changed_.end(),
                       [&](const PixelRect& rect) { return !isEmpty(intersection(rect, area)); });
}

PixelRect DamagedPicture::readInto(std::vector<std::uint8_t>& target, bool whole) {
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    if (whole || target.size() != pixels_.size()) {
        target = pixels_;
        lastCopied_.reset();
    } else {
        lastCopied_ = changed_;
        for (const PixelRect& rect : changed_) {
            for (int row = rect.y; row < rect.y + rect.height; ++row) {
                const std::size_t offset = row * rowBytes + static_cast<std::size_t>(rect.x) * 4;
                std::memcpy(target.data() + offset, pixels_.data() + offset, static_cast<std::size_t>(rect.width) * 4);
            }
        }
    }
    changed_.clear();
    return {0, 0, width_, height_};
}

}  // namespace kelvane::platform::pipewire
