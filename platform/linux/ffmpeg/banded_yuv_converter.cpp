#include "platform/linux/ffmpeg/banded_yuv_converter.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/linux/ffmpeg/bgra_to_yuv420.h"
#include "platform/linux/ffmpeg/video_encoder_settings.h"

namespace kelvane::platform::ffmpeg {
namespace {

ScaleContextPtr makeScaler(int sourceWidth, int sourceHeight, int width, int height) {
    ScaleContextPtr scaler(sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGRA, width, height,
                                          AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) {
        throw FfmpegError("Cannot convert video frames of " + std::to_string(sourceWidth) + "x" +
                          std::to_string(sourceHeight));
    }
    // Full-range RGB in, BT.709 limited range out, as the stream is tagged.
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(SWS_CS_ITU709),
                             0, 0, 1 << 16, 1 << 16);
    return scaler;
}

}  // namespace

BandedYuvConverter::BandedYuvConverter(int width, int height) : width_(width), height_(height) {
    picture_.reset(av_frame_alloc());
    if (!picture_) throw FfmpegError("Cannot allocate a video frame: out of memory");
    picture_->format = AV_PIX_FMT_YUV420P;
    picture_->width = width;
    picture_->height = height;
    checkAv(av_frame_get_buffer(picture_.get(), 0), "Cannot allocate a video frame");
    changedBlocks_.assign(static_cast<std::size_t>(blockColumns()) * bandCount(), 1);
}

int BandedYuvConverter::update(const SampleBuffer& buffer) {
    const VideoFrame* frame = buffer.videoFrame();
    if (frame == nullptr || frame->width <= 0 || frame->height <= 0 || frame->stride < frame->width * 4 ||
        frame->pixels.size() < static_cast<std::size_t>(frame->stride) * static_cast<std::size_t>(frame->height))
        throw FfmpegError("A video frame's pixels do not match its size");
    const bool fits = encodedDimension(frame->width) == width_ && encodedDimension(frame->height) == height_;
    if (!fits) {
        scaleWhole(*frame);
        std::fill(changedBlocks_.begin(), changedBlocks_.end(), 1);
        previous_ = SampleBuffer();
        return bandCount();
    }
    // The same frame again, retimed: nothing to do.
    if (buffer.sharesPayloadWith(previous_)) return 0;

    const VideoFrame* previous = previous_.videoFrame();
    const bool listed = previous && previous->serial != 0 && frame->changes && frame->changes->since == previous->serial;
    int converted = 0;
    for (int firstRow = 0; firstRow < height_; firstRow += bandRows) {
        const int rows = std::min(bandRows, height_ - firstRow);
        // Listed rectangles say where the frame may differ (a window drawn whole to move a
        // box in it is listed whole); only there is it compared.
        const Columns within = listed ? listedColumns(frame->changes->rects, firstRow, rows) : Columns{0, width_};
        const Columns columns = previous && within.first < within.end
                                    ? changedColumns(*frame, *previous, firstRow, rows, within)
                                    : within;
        if (columns.first >= columns.end) continue;
        convert(*frame, firstRow, rows, columns);
        markChanged(firstRow, columns);
        ++converted;
    }
    previous_ = buffer;
    return converted;
}

BandedYuvConverter::Columns BandedYuvConverter::changedColumns(const VideoFrame& frame, const VideoFrame& previous,
                                                               int firstRow, int rows, Columns within) const {
    // Compared a chunk of pixels at a time; converting the rest of a chunk costs less than
    // finding the exact pixel. Chunks are even, so spans cover whole 2x2 blocks.
    constexpr int chunk = 32;
    const int firstIndex = within.first / chunk;
    const int chunks = (within.end + chunk - 1) / chunk;
    auto chunkDiffers = [&](const std::uint8_t* now, const std::uint8_t* before, int index) {
        const int first = index * chunk;
        const int pixels = std::min(chunk, width_ - first);
        return std::memcmp(now + first * 4, before + first * 4, static_cast<std::size_t>(pixels) * 4) != 0;
    };
    int firstChunk = chunks;
    int endChunk = firstIndex;
    const std::size_t offset = static_cast<std::size_t>(within.first) * 4;
    const std::size_t span = static_cast<std::size_t>(within.end - within.first) * 4;
    for (int row = firstRow; row < firstRow + rows; ++row) {
        const std::uint8_t* now = frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride;
        const std::uint8_t* before = previous.pixels.data() + static_cast<std::size_t>(row) * previous.stride;
        if (std::memcmp(now + offset, before + offset, span) == 0) continue;
        int first = firstIndex;
        while (first < firstChunk && !chunkDiffers(now, before, first)) ++first;
        int end = chunks;
        while (end > endChunk && !chunkDiffers(now, before, end - 1)) --end;
        firstChunk = std::min(firstChunk, first);
        endChunk = std::max(endChunk, end);
    }
    if (firstChunk >= endChunk) return {};
    return {firstChunk * chunk, std::min(width_, endChunk * chunk)};
}

BandedYuvConverter::Columns BandedYuvConverter::listedColumns(const std::vector<FrameRect>& rects, int firstRow,
                                                              int rows) const {
    int first = width_;
    int end = 0;
    for (const FrameRect& rect : rects) {
        if (rect.width <= 0 || rect.y >= firstRow + rows || rect.y + rect.height <= firstRow) continue;
        first = std::min(first, rect.x);
        end = std::max(end, rect.x + rect.width);
    }
    // Whole 2x2 blocks: a chroma sample covers two columns.
    first = std::max(0, first - first % 2);
    end = std::min(width_, end + end % 2);
    if (first >= end) return {};
    return {first, end};
}

void BandedYuvConverter::convert(const VideoFrame& frame, int firstRow, int rows, Columns columns) {
    Yuv420Planes planes;
    for (int plane = 0; plane < 3; ++plane) {
        planes.data[plane] = picture_->data[plane];
        planes.stride[plane] = picture_->linesize[plane];
    }
    convertBgraToYuv420(frame.pixels.data(), frame.stride, planes, columns.first, firstRow, columns.end - columns.first,
                        rows);
}

void BandedYuvConverter::markChanged(int firstRow, Columns columns) {
    const std::size_t rowStart = static_cast<std::size_t>(firstRow / bandRows) * blockColumns();
    std::fill(changedBlocks_.begin() + rowStart + columns.first / blockSize,
              changedBlocks_.begin() + rowStart + (columns.end + blockSize - 1) / blockSize, 1);
}

void BandedYuvConverter::scaleWhole(const VideoFrame& frame) {
    if (!wholeScaler_ || wholeWidth_ != frame.width || wholeHeight_ != frame.height) {
        wholeScaler_ = makeScaler(frame.width, frame.height, width_, height_);
        wholeWidth_ = frame.width;
        wholeHeight_ = frame.height;
    }
    const std::uint8_t* source[4] = {frame.pixels.data(), nullptr, nullptr, nullptr};
    const int sourceStride[4] = {frame.stride, 0, 0, 0};
    sws_scale(wholeScaler_.get(), source, sourceStride, 0, frame.height, picture_->data, picture_->linesize);
}

}  // namespace kelvane::platform::ffmpeg
