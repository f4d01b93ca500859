#include "platform/linux/ffmpeg/banded_yuv_converter.h"

#include <algorithm>
#include <cstring>
#include <string>

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
    bandScaler_ = makeScaler(width, std::min(bandRows, height), width, std::min(bandRows, height));
    if (const int lastRows = height % bandRows; lastRows != 0 && height > bandRows) {
        lastBandScaler_ = makeScaler(width, lastRows, width, lastRows);
    }
}

int BandedYuvConverter::update(const VideoFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0 || frame.stride < frame.width * 4 ||
        frame.pixels.size() < static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height))
        throw FfmpegError("A video frame's pixels do not match its size");
    const bool fits = encodedDimension(frame.width) == width_ && encodedDimension(frame.height) == height_;
    if (!fits) {
        scaleWhole(frame);
        return bandCount();
    }
    const bool primed = !converted_.empty();
    if (!primed) converted_.resize(static_cast<std::size_t>(width_) * 4 * static_cast<std::size_t>(height_));
    int converted = 0;
    for (int firstRow = 0; firstRow < height_; firstRow += bandRows) {
        const int rows = std::min(bandRows, height_ - firstRow);
        if (primed && !bandChanged(frame, firstRow, rows)) continue;
        convertBand(frame, firstRow, rows);
        ++converted;
    }
    return converted;
}

bool BandedYuvConverter::bandChanged(const VideoFrame& frame, int firstRow, int rows) const {
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    for (int row = firstRow; row < firstRow + rows; ++row) {
        const std::uint8_t* now = frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride;
        const std::uint8_t* before = converted_.data() + static_cast<std::size_t>(row) * rowBytes;
        if (std::memcmp(now, before, rowBytes) != 0) return true;
    }
    return false;
}

void BandedYuvConverter::convertBand(const VideoFrame& frame, int firstRow, int rows) {
    SwsContext* scaler = rows == bandRows || !lastBandScaler_ ? bandScaler_.get() : lastBandScaler_.get();
    const std::uint8_t* source[4] = {frame.pixels.data() + static_cast<std::size_t>(firstRow) * frame.stride, nullptr,
                                     nullptr, nullptr};
    const int sourceStride[4] = {frame.stride, 0, 0, 0};
    std::uint8_t* target[4] = {
        picture_->data[0] + static_cast<std::ptrdiff_t>(firstRow) * picture_->linesize[0],
        picture_->data[1] + static_cast<std::ptrdiff_t>(firstRow / 2) * picture_->linesize[1],
        picture_->data[2] + static_cast<std::ptrdiff_t>(firstRow / 2) * picture_->linesize[2], nullptr};
    sws_scale(scaler, source, sourceStride, 0, rows, target, picture_->linesize);

    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    for (int row = firstRow; row < firstRow + rows; ++row) {
        std::memcpy(converted_.data() + static_cast<std::size_t>(row) * rowBytes,
                    frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride, rowBytes);
    }
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
    // The rows kept for comparison no longer describe the picture.
    converted_.clear();
}

}  // namespace kelvane::platform::ffmpeg
