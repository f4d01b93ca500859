#include "platform/linux/x11/frame_fitting.h"

#include "platform/linux/avx2_clones.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace kelvane::platform::x11 {
namespace {

constexpr std::uint32_t opaqueAlpha = 0xff000000;  // the fourth byte of a little-endian BGRA word

}  // namespace

// One pass per row over whole 32-bit words, which the compiler vectorises; the AVX2 copy
// is picked at load time where the processor has it.
KELVANE_AVX2_CLONES void copyOpaque(std::uint8_t* target, const std::uint8_t* source, int pixels) {
    for (int i = 0; i < pixels; ++i) {
        std::uint32_t word;
        std::memcpy(&word, source + i * 4, 4);
        word |= opaqueAlpha;
        std::memcpy(target + i * 4, &word, 4);
    }
}

FittedArea fitInto(int sourceWidth, int sourceHeight, int frameWidth, int frameHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) return {};
    const double scale = std::min(static_cast<double>(frameWidth) / sourceWidth,
                                  static_cast<double>(frameHeight) / sourceHeight);
    const int width = std::clamp(static_cast<int>(std::lround(sourceWidth * scale)), 1, frameWidth);
    const int height = std::clamp(static_cast<int>(std::lround(sourceHeight * scale)), 1, frameHeight);
    return {(frameWidth - width) / 2, (frameHeight - height) / 2, width, height};
}

namespace {

// Frames waiting to be filled again: enough for the writer's queue to give them back
// between captures.
constexpr std::size_t keptFrames = 4;
// Fits remembered to bring a frame that comes back up to date; one older is redrawn whole.
constexpr std::size_t rememberedFits = 8;
// Past this many rectangles, one around them all is drawn.
constexpr std::size_t mostRects = 32;

std::atomic<std::uint64_t> lastSerial{0};

FrameRect clipped(const FrameRect& rect, int width, int height) {
    const int left = std::max(rect.x, 0);
    const int top = std::max(rect.y, 0);
    const int right = std::min(rect.x + rect.width, width);
    const int bottom = std::min(rect.y + rect.height, height);
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

// Merges the rectangles into one around them all when there are many, or when they
// overlap so much that copying each would pass over pixels more than once.
void boundAll(std::vector<FrameRect>& rects) {
    if (rects.size() <= 1) return;
    long long area = 0;
    for (const FrameRect& rect : rects) area += static_cast<long long>(rect.width) * rect.height;
    int left = rects.front().x, top = rects.front().y;
    int right = left + rects.front().width, bottom = top + rects.front().height;
    for (const FrameRect& rect : rects) {
        left = std::min(left, rect.x);
        top = std::min(top, rect.y);
        right = std::max(right, rect.x + rect.width);
        bottom = std::max(bottom, rect.y + rect.height);
    }
    if (rects.size() <= mostRects && area < static_cast<long long>(right - left) * (bottom - top)) return;
    rects.assign(1, FrameRect{left, top, right - left, bottom - top});
}

// The part of the fitted picture that a changed rectangle of the image can change.
FrameRect reachedBy(const FrameRect& rect, const SourceImage& image, const FittedArea& area) {
    const Span columns = scaledReach({rect.x, rect.x + rect.width}, image.width, area.width);
    const Span rows = scaledReach({rect.y, rect.y + rect.height}, image.height, area.height);
    return {area.x + columns.first, area.y + rows.first, columns.end - columns.first, rows.end - rows.first};
}

// The rows of the fitted picture that `rects` of the frame cover, in order, overlapping
// and touching spans joined.
std::vector<Span> rowsCovered(const std::vector<FrameRect>& rects, const FittedArea& area) {
    std::vector<Span> rows;
    for (const FrameRect& rect : rects) {
        const Span span{std::max(rect.y - area.y, 0), std::min(rect.y + rect.height - area.y, area.height)};
        if (span.first < span.end && rect.width > 0) rows.push_back(span);
    }
    std::sort(rows.begin(), rows.end(), [](const Span& a, const Span& b) { return a.first < b.first; });
    std::vector<Span> joined;
    for (const Span& span : rows) {
        if (!joined.empty() && span.first <= joined.back().end) {
            joined.back().end = std::max(joined.back().end, span.end);
        } else {
            joined.push_back(span);
        }
    }
    return joined;
}

void makeOpaque(VideoFrame& frame, int firstRow, int rows) {
    for (int row = firstRow; row < firstRow + rows; ++row) {
        std::uint8_t* line = frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride;
        copyOpaque(line, line, frame.width);
    }
}

// Copies `rect` of the image to `x`, `y` of the frame, opaque.
void copyRect(const SourceImage& image, const FrameRect& rect, VideoFrame& frame, int x, int y) {
    for (int row = 0; row < rect.height; ++row) {
        const std::uint8_t* source =
            image.pixels + static_cast<std::size_t>(rect.y + row) * image.stride + static_cast<std::size_t>(rect.x) * 4;
        std::uint8_t* target =
            frame.pixels.data() + static_cast<std::size_t>(y + row) * frame.stride + static_cast<std::size_t>(x) * 4;
        if (image.opaque) {
            std::memcpy(target, source, static_cast<std::size_t>(rect.width) * 4);
        } else {
            copyOpaque(target, source, rect.width);
        }
    }
}

}  // namespace

FrameFitter::FrameFitter(int frameWidth, int frameHeight)
    : frameWidth_(frameWidth), frameHeight_(frameHeight), pool_(keptFrames) {}

VideoFrame FrameFitter::fit(const SourceImage& image, const std::optional<std::vector<FrameRect>>& changed) {
    const FittedArea area = fitInto(image.width, image.height, frameWidth_, frameHeight_);
    const bool sameSource = image.width == sourceWidth_ && image.height == sourceHeight_;
    sourceWidth_ = image.width;
    sourceHeight_ = image.height;
    const bool unscaled = area.width == image.width && area.height == image.height;

    std::optional<std::vector<FrameRect>> frameChanged;
    if (sameSource && changed && area.width > 0) {
        frameChanged.emplace();
        for (const FrameRect& rect : *changed) {
            const FrameRect inImage = clipped(rect, image.width, image.height);
            if (inImage.width <= 0) continue;
            frameChanged->push_back(unscaled ? FrameRect{inImage.x + area.x, inImage.y + area.y, inImage.width,
                                                         inImage.height}
                                             : reachedBy(inImage, image, area));
        }
        boundAll(*frameChanged);
    }

    VideoFrame frame;
    std::optional<std::vector<FrameRect>> stale;
    if (auto reused = pool_.take(frameWidth_, frameHeight_)) {
        frame = std::move(*reused);
        stale = changedSince(frame.serial, frameChanged);
    } else {
        frame.width = frameWidth_;
        frame.height = frameHeight_;
        frame.stride = frameWidth_ * 4;
    }
    draw(image, area, frame, stale);

    const std::uint64_t previous = history_.empty() ? 0 : history_.back().serial;
    frame.serial = ++lastSerial;
    frame.changes.reset();
    if (previous != 0 && frameChanged) frame.changes = FrameChanges{previous, *frameChanged};
    history_.push_back({frame.serial, std::move(frameChanged)});
    if (history_.size() > rememberedFits) history_.pop_front();
    return frame;
}

std::optional<std::vector<FrameRect>> FrameFitter::changedSince(
    std::uint64_t since, const std::optional<std::vector<FrameRect>>& latest) const {
    const auto fitted = std::find_if(history_.begin(), history_.end(),
                                     [&](const Fitted& entry) { return entry.serial == since; });
    if (fitted == history_.end() || !latest) return std::nullopt;
    std::vector<FrameRect> rects;
    for (auto later = std::next(fitted); later != history_.end(); ++later) {
        if (!later->changed) return std::nullopt;
        rects.insert(rects.end(), later->changed->begin(), later->changed->end());
    }
    rects.insert(rects.end(), latest->begin(), latest->end());
    boundAll(rects);
    return rects;
}

void FrameFitter::draw(const SourceImage& image, const FittedArea& area, VideoFrame& frame,
                       const std::optional<std::vector<FrameRect>>& rects) {
    const std::size_t frameBytes = static_cast<std::size_t>(frame.stride) * frameHeight_;
    const bool fills = area.width == frameWidth_ && area.height == frameHeight_ && image.width == frameWidth_ &&
                       image.height == frameHeight_;
    if (fills && !rects && frame.pixels.empty()) {
        // A new frame the image fills: rows appended as they are read rather than written
        // over a cleared buffer, which would pass over 8 MB more per 1080p frame.
        frame.pixels.reserve(frameBytes);
        for (int row = 0; row < image.height; ++row) {
            const std::uint8_t* source = image.pixels + static_cast<std::size_t>(row) * image.stride;
            frame.pixels.insert(frame.pixels.end(), source, source + frame.stride);
            // Made opaque while the row is still in the cache.
            if (!image.opaque) makeOpaque(frame, row, 1);
        }
        return;
    }
    if (fills) {
        for (const FrameRect& rect : rects.value_or(std::vector<FrameRect>{{0, 0, frameWidth_, frameHeight_}})) {
            copyRect(image, rect, frame, rect.x, rect.y);
        }
        return;
    }
    if (!rects) frame.pixels.assign(frameBytes, 0);
    if (area.width == 0) {
        makeOpaque(frame, 0, frameHeight_);
        return;
    }
    const bool unscaled = area.width == image.width && area.height == image.height;
    if (unscaled) {
        for (const FrameRect& rect : rects.value_or(std::vector<FrameRect>{{area.x, area.y, area.width, area.height}})) {
            copyRect(image, {rect.x - area.x, rect.y - area.y, rect.width, rect.height}, frame, rect.x, rect.y);
        }
    } else {
        const ScaledArea target{frame.pixels.data() + static_cast<std::size_t>(area.y) * frame.stride + area.x * 4,
                                area.width, area.height, frame.stride};
        if (!rects) {
            scaler_.scale(image, target);
        } else {
            // Only the rows that differ from this frame's picture are scaled again: they
            // come out as a whole scale would give them.
            for (const Span& rows : rowsCovered(*rects, area)) {
                const Span written = scaler_.scaleRows(image, target, rows);
                makeOpaque(frame, area.y + written.first, written.end - written.first);
            }
        }
    }
    // The bars are black and opaque too.
    if (!rects) makeOpaque(frame, 0, frameHeight_);
}

}  // namespace kelvane::platform::x11
