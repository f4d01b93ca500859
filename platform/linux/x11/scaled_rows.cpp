#include "platform/linux/x11/scaled_rows.h"

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

#include "platform/linux/x11/frame_fitting.h"

namespace kelvane::platform::x11 {
namespace {

// Chroma taken and given at every pixel: with chroma halved across, swscale reads each
// row's pixels in pairs, so an odd-width row also reads the pixel after it (the next
// row's first, or past the end of the image), and that pixel would reach the last column.
constexpr int scalerFlags = SWS_BILINEAR | SWS_FULL_CHR_H_INP | SWS_FULL_CHR_H_INT;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

void releaseNothing(void*, std::uint8_t*) {}

// A frame over pixels owned elsewhere: swscale's frame calls take references to their
// frames, and these references free nothing.
FramePtr borrowedFrame(std::uint8_t* pixels, int width, int height, int stride) {
    FramePtr frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    const std::size_t bytes = static_cast<std::size_t>(height - 1) * stride + static_cast<std::size_t>(width) * 4;
    frame->buf[0] = av_buffer_create(pixels, bytes, releaseNothing, nullptr, 0);
    if (!frame->buf[0]) throw std::bad_alloc();
    frame->data[0] = pixels;
    frame->linesize[0] = stride;
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_BGRA;
    return frame;
}

}  // namespace

Span scaledReach(Span source, int sourceSize, int scaledSize) {
    if (source.first >= source.end || sourceSize <= 0 || scaledSize <= 0) return {};
    // Scaled pixel i is centred on (i + 0.5) * step - 0.5 of the source and weighs the
    // source pixels less than `radius` from there (edge pixels stand in for those past
    // the edge, which moves no weight away from the changed ones).
    const double step = static_cast<double>(sourceSize) / scaledSize;
    const double radius = std::max(1.0, step);
    const double lowest = (source.first - radius + 0.5) / step - 0.5;
    const double highest = (source.end - 1 + radius + 0.5) / step - 0.5;
    // The spare pixel each side covers the scaler's fixed-point positions.
    const int first = static_cast<int>(std::floor(lowest)) - 1;
    const int end = static_cast<int>(std::ceil(highest)) + 2;
    return {std::clamp(first, 0, scaledSize), std::clamp(end, 0, scaledSize)};
}

RowScaler::~RowScaler() { sws_freeContext(context_); }

SwsContext* RowScaler::prepare(const SourceImage& image, const ScaledArea& target) {
    context_ = sws_getCachedContext(context_, image.width, image.height, AV_PIX_FMT_BGRA, target.width, target.height,
                                    AV_PIX_FMT_BGRA, scalerFlags, nullptr, nullptr, nullptr);
    if (!context_) throw std::runtime_error("Cannot scale a captured image into the recording's size");
    return context_;
}

void RowScaler::scale(const SourceImage& image, const ScaledArea& target) {
    SwsContext* context = prepare(image, target);
    const std::uint8_t* sourcePlanes[] = {image.pixels};
    const int sourceStrides[] = {image.stride};
    std::uint8_t* targetPlanes[] = {target.pixels};
    const int targetStrides[] = {target.stride};
    sws_scale(context, sourcePlanes, sourceStrides, 0, image.height, targetPlanes, targetStrides);
}

Span RowScaler::scaleRows(const SourceImage& image, const ScaledArea& target, Span rows) {
    SwsContext* context = prepare(image, target);
    const int alignment = static_cast<int>(sws_receive_slice_alignment(context));
    const int first = std::max(0, rows.first - rows.first % alignment);
    const int end = std::min(target.height, (rows.end + alignment - 1) / alignment * alignment);
    if (first >= end) return {};
    // The source is only read; the frame calls take every picture as writable.
    const FramePtr source =
        borrowedFrame(const_cast<std::uint8_t*>(image.pixels), image.width, image.height, image.stride);
    const FramePtr scaled = borrowedFrame(target.pixels, target.width, target.height, target.stride);
    int result = sws_frame_start(context, scaled.get(), source.get());
    if (result >= 0) result = sws_send_slice(context, 0, static_cast<unsigned>(image.height));
    if (result >= 0) {
        result = sws_receive_slice(context, static_cast<unsigned>(first), static_cast<unsigned>(end - first));
    }
    sws_frame_end(context);
    if (result < 0) throw std::runtime_error("Cannot scale a captured image into the recording's size");
    return {first, end};
}

}  // namespace kelvane::platform::x11
