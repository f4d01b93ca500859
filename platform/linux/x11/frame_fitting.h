#pragma once
// Puts a captured image into a recording's fixed frame size: the image is scaled to fit
// with its aspect ratio kept and centred, the rest of the frame is black, and every
// pixel comes out opaque (X leaves the fourth byte of a 24-bit visual undefined).
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/linux/x11/frame_pool.h"
#include "platform/linux/x11/scaled_rows.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::x11 {

// Where a source image lands inside the frame, in whole pixels.
struct FittedArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const FittedArea&, const FittedArea&) = default;
};

// The largest centred area of the frame with the source's aspect ratio, at least 1x1.
FittedArea fitInto(int sourceWidth, int sourceHeight, int frameWidth, int frameHeight);

// Copies `pixels` BGRA pixels with their fourth byte set opaque; `target` may be `source`.
void copyOpaque(std::uint8_t* target, const std::uint8_t* source, int pixels);

// BGRA pixels with 32 bits per pixel, rows `stride` bytes apart.
struct SourceImage {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    // Every fourth byte is already 0xff.
    bool opaque = false;
};

// Fits a stream's images into frames of one size. Each frame gets a new serial and says
// what changed since the previous one; frames given back through `recycler()` are filled
// again with only what changed since they were last delivered.
class FrameFitter {
public:
    FrameFitter(int frameWidth, int frameHeight);
    FrameFitter(const FrameFitter&) = delete;
    FrameFitter& operator=(const FrameFitter&) = delete;

    // `changed` lists the rectangles of `image` that differ from the previous image fitted;
    // nothing when anything may have.
    VideoFrame fit(const SourceImage& image, const std::optional<std::vector<FrameRect>>& changed = std::nullopt);
    SampleBuffer::VideoRecycler recycler() const { return pool_.recycler(); }

private:
    struct Fitted {
        std::uint64_t serial = 0;
        // What differs from the frame fitted before; nothing when anything may.
        std::optional<std::vector<FrameRect>> changed;
    };
    // What differs between the frame numbered `since` and the one being fitted, whose own
    // changes are `latest`; nothing when that is not known.
    std::optional<std::vector<FrameRect>> changedSince(std::uint64_t since,
                                                       const std::optional<std::vector<FrameRect>>& latest) const;
    void draw(const SourceImage& image, const FittedArea& area, VideoFrame& frame,
              const std::optional<std::vector<FrameRect>>& rects);

    int frameWidth_;
    int frameHeight_;
    RowScaler scaler_;
    FramePool pool_;
    std::deque<Fitted> history_;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
};

}  // namespace kelvane::platform::x11
