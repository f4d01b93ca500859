#include "platform/linux/x11/frame_fitting.h"

#include "platform/linux/avx2_clones.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

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

FrameFitter::FrameFitter(int frameWidth, int frameHeight) : frameWidth_(frameWidth), frameHeight_(frameHeight) {}

FrameFitter::~FrameFitter() { sws_freeContext(scaler_); }

namespace {

void makeOpaque(VideoFrame& frame) {
    for (int row = 0; row < frame.height; ++row) {
        std::uint8_t* line = frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride;
        copyOpaque(line, line, frame.width);
    }
}

}  // namespace

VideoFrame FrameFitter::fit(const SourceImage& image) {
    VideoFrame frame;
    frame.width = frameWidth_;
    frame.height = frameHeight_;
    frame.stride = frameWidth_ * 4;
    const std::size_t frameBytes = static_cast<std::size_t>(frame.stride) * frameHeight_;

    const FittedArea area = fitInto(image.width, image.height, frameWidth_, frameHeight_);
    if (area.width == frameWidth_ && area.height == frameHeight_ && image.width == frameWidth_ &&
        image.height == frameHeight_) {
        // The usual case: the image is the frame. Its rows are appended as they are read
        // rather than written over a cleared buffer, which would pass over 8 MB more per
        // 1080p frame.
        frame.pixels.reserve(frameBytes);
        for (int row = 0; row < image.height; ++row) {
            const std::uint8_t* source = image.pixels + static_cast<std::size_t>(row) * image.stride;
            frame.pixels.insert(frame.pixels.end(), source, source + frame.stride);
            if (image.opaque) continue;
            copyOpaque(frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride,
                       frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride, frameWidth_);
        }
        return frame;
    }

    frame.pixels.assign(frameBytes, 0);
    if (area.width == 0) return frame;
    std::uint8_t* target = frame.pixels.data() + static_cast<std::size_t>(area.y) * frame.stride + area.x * 4;
    if (area.width == image.width && area.height == image.height) {
        for (int row = 0; row < image.height; ++row) {
            copyOpaque(target + static_cast<std::size_t>(row) * frame.stride,
                       image.pixels + static_cast<std::size_t>(row) * image.stride, image.width);
        }
    } else {
        scaler_ = sws_getCachedContext(scaler_, image.width, image.height, AV_PIX_FMT_BGRA, area.width, area.height,
                                       AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler_) throw std::runtime_error("Cannot scale a captured image into the recording's size");
        const std::uint8_t* sourcePlanes[] = {image.pixels};
        const int sourceStrides[] = {image.stride};
        std::uint8_t* targetPlanes[] = {target};
        const int targetStrides[] = {frame.stride};
        sws_scale(scaler_, sourcePlanes, sourceStrides, 0, image.height, targetPlanes, targetStrides);
    }
    // The bars are black and opaque too.
    makeOpaque(frame);
    return frame;
}

}  // namespace kelvane::platform::x11
