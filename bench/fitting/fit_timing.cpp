// Fits a 1280x720 window picture into a 1920x1080 recording 100 times with a 48x48 box
// moving in it, the frames given back to the fitter as the writer gives them back, and
// times libswscale scaling the whole picture into the same size 100 times in the same
// run. Prints time per frame of both (ours also when not told what changed), the share of
// the picture each frame lists as changed, and the ratio libswscale / ours.
extern "C" {
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/fixed_decimals.h"
#include "common/line_output.h"
#include "platform/linux/x11/frame_fitting.h"

namespace {

using kelvane::bench::fixed;
using namespace kelvane::platform;
constexpr int frames = 100;
constexpr int sourceWidth = 1280;
constexpr int sourceHeight = 720;
constexpr int frameWidth = 1920;
constexpr int frameHeight = 1080;
constexpr int box = 48;

// A picture of pseudo-random pixels, which no scaler shortcut can take apart.
std::vector<std::uint8_t> noise() {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(sourceWidth) * sourceHeight * 4);
    std::uint32_t state = 1;
    for (std::uint8_t& byte : pixels) {
        state = state * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return pixels;
}

// Where the box is drawn at `frame`: across the picture and down, as a moving object.
FrameRect boxAt(int frame) {
    return {(frame * 37) % (sourceWidth - box), (frame * 23) % (sourceHeight - box), box, box};
}

void drawBox(std::vector<std::uint8_t>& pixels, const FrameRect& rect, std::uint8_t value) {
    for (int row = rect.y; row < rect.y + rect.height; ++row) {
        std::uint8_t* line = pixels.data() + (static_cast<std::size_t>(row) * sourceWidth + rect.x) * 4;
        std::fill(line, line + static_cast<std::size_t>(rect.width) * 4, value);
    }
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct Fitted {
    double ms = 0;
    double listedShare = 0;
};

// `known`: the fitter is told which box changed, else it scales the whole picture again.
Fitted ours(std::vector<std::uint8_t> pixels, bool known) {
    x11::FrameFitter fitter(frameWidth, frameHeight);
    const x11::SourceImage image{pixels.data(), sourceWidth, sourceHeight, sourceWidth * 4};
    SampleBuffer held = SampleBuffer::video(fitter.fit(image), SampleTiming{}, std::nullopt, fitter.recycler());
    const auto start = std::chrono::steady_clock::now();
    double listed = 0;
    for (int i = 0; i < frames; ++i) {
        const FrameRect changed = boxAt(i);
        drawBox(pixels, changed, static_cast<std::uint8_t>(i * 7));
        VideoFrame frame =
            known ? fitter.fit(image, std::vector<FrameRect>{changed}) : fitter.fit(image, std::nullopt);
        const std::vector<FrameRect> rects =
            frame.changes ? frame.changes->rects : std::vector<FrameRect>{{0, 0, frameWidth, frameHeight}};
        for (const FrameRect& rect : rects) listed += static_cast<double>(rect.width) * rect.height;
        // The previous frame goes back to the fitter once this one is delivered.
        held = SampleBuffer::video(std::move(frame), SampleTiming{}, std::nullopt, fitter.recycler());
    }
    return {msSince(start) / frames, listed / frames / (static_cast<double>(frameWidth) * frameHeight)};
}

double libswscaleWhole(std::vector<std::uint8_t> pixels) {
    SwsContext* scaler = sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGRA, frameWidth, frameHeight,
                                        AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler) throw std::runtime_error("libswscale cannot scale 1280x720 into 1920x1080");
    std::vector<std::uint8_t> scaled(static_cast<std::size_t>(frameWidth) * frameHeight * 4);
    const int sourceStrides[] = {sourceWidth * 4};
    std::uint8_t* targetPlanes[] = {scaled.data()};
    const int targetStrides[] = {frameWidth * 4};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        drawBox(pixels, boxAt(i), static_cast<std::uint8_t>(i * 7));
        const std::uint8_t* sourcePlanes[] = {pixels.data()};
        sws_scale(scaler, sourcePlanes, sourceStrides, 0, sourceHeight, targetPlanes, targetStrides);
    }
    const double ms = msSince(start) / frames;
    sws_freeContext(scaler);
    return ms;
}

}  // namespace

int main() {
    try {
        const std::vector<std::uint8_t> pixels = noise();
        const double peer = libswscaleWhole(pixels);
        const Fitted whole = ours(pixels, false);
        const Fitted fitted = ours(pixels, true);
        kelvane::common::writeOutputLine("1280x720 window into 1920x1080, a 48x48 box moving, " +
                                         std::to_string(frames) + " frames");
        kelvane::common::writeOutputLine("ours:                     " + fixed(fitted.ms) + " ms per frame, " +
                                         fixed(fitted.listedShare * 100) + " % of the frame listed as changed");
        kelvane::common::writeOutputLine("ours, changes not known:  " + fixed(whole.ms) + " ms per frame, " +
                                         fixed(whole.listedShare * 100) + " % listed");
        kelvane::common::writeOutputLine("libswscale, whole picture: " + fixed(peer) + " ms per frame");
        // The box's rows and those of the box before it (the frame coming back) are about
        // a seventh of the picture's.
        kelvane::common::writeOutputLine("libswscale / ours: " + fixed(peer / fitted.ms) +
                                         " (goal: above 5), not told the changes " + fixed(peer / whole.ms));
        return 0;
    } catch (const std::exception& error) {
        kelvane::common::writeErrorLine(std::string("bench-fitting: ") + error.what());
        return 1;
    }
}
