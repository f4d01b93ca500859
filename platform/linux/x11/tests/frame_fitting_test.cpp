#include "platform/linux/x11/frame_fitting.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <utility>

namespace kelvane::platform::x11 {
namespace {

TEST(FitInto, KeepsTheAspectRatioAndCentresTheImage) {
    EXPECT_EQ(fitInto(320, 240, 320, 240), (FittedArea{0, 0, 320, 240}));
    // Narrower than the frame: bars left and right.
    EXPECT_EQ(fitInto(160, 240, 320, 240), (FittedArea{80, 0, 160, 240}));
    // Wider: bars above and below.
    EXPECT_EQ(fitInto(640, 240, 320, 240), (FittedArea{0, 60, 320, 120}));
    // Larger in both directions: scaled down.
    EXPECT_EQ(fitInto(640, 480, 320, 240), (FittedArea{0, 0, 320, 240}));
    // A sliver never vanishes.
    EXPECT_EQ(fitInto(1, 1000, 100, 100), (FittedArea{49, 0, 1, 100}));
    EXPECT_EQ(fitInto(0, 10, 100, 100), FittedArea{});
}

struct Pixel {
    std::uint8_t b, g, r, a;
};

using Bgra = std::array<int, 4>;

Bgra bgra(const Pixel& p) { return {p.b, p.g, p.r, p.a}; }

Pixel pixelAt(const VideoFrame& frame, int x, int y) {
    const std::uint8_t* p = frame.pixels.data() + static_cast<std::size_t>(y) * frame.stride + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// A source image of one colour, with an X-style undefined fourth byte and row padding.
std::vector<std::uint8_t> solidImage(int width, int height, int stride, Pixel colour) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * height, 0x55);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bytes.data() + static_cast<std::size_t>(y) * stride + x * 4;
            p[0] = colour.b, p[1] = colour.g, p[2] = colour.r, p[3] = colour.a;
        }
    }
    return bytes;
}

TEST(FrameFitter, CopiesSameSizedImagesOpaqueAndIgnoresRowPadding) {
    const auto bytes = solidImage(4, 3, 24, {10, 20, 30, 0});
    FrameFitter fitter(4, 3);
    const VideoFrame frame = fitter.fit({bytes.data(), 4, 3, 24});
    ASSERT_EQ(frame.stride, 16);
    ASSERT_EQ(frame.pixels.size(), 48u);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const Pixel p = pixelAt(frame, x, y);
            EXPECT_EQ(bgra(p), (Bgra{10, 20, 30, 255})) << x << "," << y;
        }
    }
}

TEST(FrameFitter, ScalesAResizedImageIntoTheFixedSizeWithBlackBars) {
    const auto narrow = solidImage(50, 100, 200, {0, 0, 200, 0});
    FrameFitter fitter(200, 100);
    const VideoFrame frame = fitter.fit({narrow.data(), 50, 100, 200});
    EXPECT_EQ(frame.width, 200);
    EXPECT_EQ(frame.height, 100);
    const Pixel middle = pixelAt(frame, 100, 50);
    EXPECT_EQ(middle.r, 200);
    EXPECT_EQ(middle.a, 255);
    for (const int x : {0, 70, 130, 199}) {
        const Pixel bar = pixelAt(frame, x, 50);
        EXPECT_EQ(bgra(bar), (Bgra{0, 0, 0, 255})) << x;
    }
    // A later, larger image through the same fitter fills the frame.
    const auto large = solidImage(400, 200, 1600, {0, 180, 0, 0});
    const VideoFrame filled = fitter.fit({large.data(), 400, 200, 1600});
    EXPECT_EQ(pixelAt(filled, 0, 0).g, 180);
    EXPECT_EQ(pixelAt(filled, 199, 99).g, 180);
}

void paint(std::vector<std::uint8_t>& bytes, int stride, const FrameRect& rect, std::uint8_t value) {
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        std::memset(bytes.data() + static_cast<std::size_t>(y) * stride + rect.x * 4, value,
                    static_cast<std::size_t>(rect.width) * 4);
    }
}

// Pixels of `now` that differ from `before` outside every one of `rects`: the writer
// converts only inside them, so any such pixel would be lost from the recording.
int differingOutside(const VideoFrame& now, const std::vector<std::uint8_t>& before, const std::vector<FrameRect>& rects) {
    int outside = 0;
    for (int y = 0; y < now.height; ++y) {
        for (int x = 0; x < now.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * now.stride + static_cast<std::size_t>(x) * 4;
            if (std::memcmp(now.pixels.data() + at, before.data() + at, 4) == 0) continue;
            const bool listed = std::any_of(rects.begin(), rects.end(), [&](const FrameRect& r) {
                return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
            });
            if (!listed) ++outside;
        }
    }
    return outside;
}

SampleBuffer delivered(FrameFitter& fitter, VideoFrame frame) {
    return SampleBuffer::video(std::move(frame), SampleTiming{}, std::nullopt, fitter.recycler());
}

// A source image of pseudo-random pixels, so that any pixel scaled from the wrong
// source pixels shows.
std::vector<std::uint8_t> noisyImage(int height, int stride) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * height);
    std::uint32_t state = 12345;
    for (std::uint8_t& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

int areaOf(const std::vector<FrameRect>& rects) {
    int area = 0;
    for (const FrameRect& rect : rects) area += rect.width * rect.height;
    return area;
}

// A stream whose frames are held by a consumer for a while, given back in another order
// than delivered: every frame shows the image it was fitted from, lists every pixel that
// differs from the frame before and little more, a frame still held is never written
// to, and a frame given back is filled again. Scaled pictures are redone only where the
// changes reach, corners and edges included.
TEST(FrameFitter, FramesGivenBackAreReusedOnlyOnceReleasedAndShowTheirOwnImage) {
    struct Layout {
        int imageWidth, imageHeight;
        const char* name;
    };
    for (const Layout layout : {Layout{64, 32, "fills"}, Layout{32, 32, "centred"}, Layout{128, 32, "scaled down"},
                                Layout{151, 47, "scaled down, odd"}, Layout{23, 13, "scaled up, odd"},
                                Layout{9, 21, "scaled up, tall"}, Layout{13, 6, "scaled up five times"}}) {
        SCOPED_TRACE(layout.name);
        const int width = layout.imageWidth;
        const int height = layout.imageHeight;
        const int stride = width * 4 + 8;
        auto image = noisyImage(height, stride);
        const FittedArea area = fitInto(width, height, 64, 32);
        // Each corner and edge first, then places across the image.
        const int w = 3, h = 2;
        const std::vector<FrameRect> places{{0, 0, w, h},          {width - w, height - h, w, h},
                                            {width - w, 0, w, h},  {0, height - h, w, h},
                                            {width / 2 - 1, 0, w, h}, {0, height / 2 - 1, w, h}};
        FrameFitter fitter(64, 32);
        std::vector<std::pair<SampleBuffer, std::vector<std::uint8_t>>> held;
        std::set<const std::uint8_t*> released;
        std::uint64_t previousSerial = 0;
        for (int step = 0; step < 16; ++step) {
            const FrameRect changed = step > 0 && step <= static_cast<int>(places.size())
                                          ? places[static_cast<std::size_t>(step - 1)]
                                          : FrameRect{(step * 5) % (width - w), step % (height - h), w, h};
            paint(image, stride, changed, static_cast<std::uint8_t>(40 + step * 9));
            const SampleBuffer buffer = delivered(
                fitter, fitter.fit({image.data(), width, height, stride},
                                   step == 0 ? std::nullopt : std::optional<std::vector<FrameRect>>({changed})));
            const VideoFrame& frame = *buffer.videoFrame();
            FrameFitter fresh(64, 32);
            EXPECT_EQ(frame.pixels, fresh.fit({image.data(), width, height, stride}).pixels) << "step " << step;
            EXPECT_EQ(frame.changes.has_value(), step > 0);
            if (frame.changes) {
                EXPECT_EQ(frame.changes->since, previousSerial);
                EXPECT_EQ(differingOutside(frame, held.back().second, frame.changes->rects), 0) << "step " << step;
                EXPECT_LT(areaOf(frame.changes->rects) * 2, area.width * area.height) << "step " << step;
            }
            previousSerial = frame.serial;
            if (!released.empty()) {
                EXPECT_TRUE(released.contains(frame.pixels.data())) << "step " << step;
            }
            released.clear();
            held.emplace_back(buffer, frame.pixels);
            for (const auto& [kept, pixels] : held) EXPECT_EQ(kept.videoFrame()->pixels, pixels) << "step " << step;
            // The consumer lets go of its oldest frames in twos, the newest first.
            if (held.size() == 3) {
                released = {held[1].first.videoFrame()->pixels.data(), held[0].first.videoFrame()->pixels.data()};
                held.erase(held.begin() + 1);
                held.erase(held.begin());
            }
        }
    }
}

// Images of odd width end right before a page that cannot be read: scaling them, whole or
// a few rows, reads nothing past their last pixel.
TEST(FrameFitter, ScalingReadsNothingPastTheImage) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    for (const auto& [width, height] : {std::pair{403, 301}, std::pair{1281, 1023}, std::pair{33, 7}}) {
        SCOPED_TRACE(width);
        const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
        const std::size_t mapped = (bytes + page - 1) / page * page + page;
        void* mapping = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(mapping, MAP_FAILED);
        auto* guard = static_cast<std::uint8_t*>(mapping) + mapped - page;
        ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
        const SourceImage image{guard - bytes, width, height, width * 4};
        FrameFitter fitter(134, 100);
        // The first frame, given back, is redone only in the rows of the corner said to change.
        const std::vector<std::uint8_t> whole = delivered(fitter, fitter.fit(image)).videoFrame()->pixels;
        const VideoFrame rows = fitter.fit(image, std::vector<FrameRect>{{width - 3, height - 3, 3, 3}});
        EXPECT_EQ(rows.pixels, whole);
        munmap(mapping, mapped);
    }
}

}  // namespace
}  // namespace kelvane::platform::x11
