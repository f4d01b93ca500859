#pragma once
// Keeps a 4:2:0 picture (BT.709, limited range) up to date with a stream of BGRA screen
// frames. Only the bands of rows that changed since the previous frame are converted: a
// screen mostly stands still, and converting a whole 1080p frame costs about as much as
// encoding a quiet one. Every frame is cut into the same fixed bands, so the picture
// comes out the same whichever bands happened to change.
#include <cstdint>
#include <vector>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::ffmpeg {

class BandedYuvConverter {
public:
    // Rows per band: one row of H.264 macroblocks.
    static constexpr int bandRows = 16;

    // A picture of `width` x `height` pixels, both even. Throws FfmpegError.
    BandedYuvConverter(int width, int height);

    // Brings the picture up to date with `frame`. A frame one odd column or row larger is
    // cropped to the picture; any other size is scaled to it. Returns how many bands were
    // converted (every band when the frame was scaled). Throws FfmpegError.
    int update(const VideoFrame& frame);

    const AVFrame& picture() const { return *picture_; }
    int bandCount() const { return (height_ + bandRows - 1) / bandRows; }

private:
    bool bandChanged(const VideoFrame& frame, int firstRow, int rows) const;
    void convertBand(const VideoFrame& frame, int firstRow, int rows);
    void scaleWhole(const VideoFrame& frame);

    int width_;
    int height_;
    FramePtr picture_;
    // The BGRA rows the picture was last converted from, packed; empty until a frame of
    // the picture's own size has been converted whole.
    std::vector<std::uint8_t> converted_;
    ScaleContextPtr bandScaler_;
    ScaleContextPtr lastBandScaler_;
    ScaleContextPtr wholeScaler_;
    int wholeWidth_ = 0;
    int wholeHeight_ = 0;
};

}  // namespace kelvane::platform::ffmpeg
