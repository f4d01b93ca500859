#pragma once
// Keeps a 4:2:0 picture (BT.709, limited range) up to date with a stream of BGRA screen
// frames. Within each band of rows only the columns that changed since the previous
// frame are converted: a screen mostly stands still. A frame that lists what changed
// since the one converted before is taken at its word; any other is compared with the
// previous frame (a whole 1080p frame costs as much to compare as to convert, but
// compared rows stay in the cache for converting).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::ffmpeg {

class BandedYuvConverter {
public:
    // The side of an H.264 macroblock. A band of rows is one row of them, and few enough
    // rows to stay in the cache between comparing and converting.
    static constexpr int blockSize = 16;
    static constexpr int bandRows = blockSize;

    // A picture of `width` x `height` pixels, both even. Throws FfmpegError.
    BandedYuvConverter(int width, int height);

    // Brings the picture up to date with the video frame of `buffer`, which it keeps to
    // compare the next frame with. A frame one odd column or row larger is cropped to the
    // picture; any other size is scaled to it. Returns how many bands were converted, in
    // whole or in part (every band when the frame was scaled). Throws FfmpegError.
    int update(const SampleBuffer& buffer);

    const AVFrame& picture() const { return *picture_; }
    int bandCount() const { return (height_ + bandRows - 1) / bandRows; }

    // One byte per macroblock of the picture, row by row: non-zero where the picture may
    // have changed since the last `forgetChanges()`, zero where it certainly did not.
    const std::vector<std::uint8_t>& changedBlocks() const { return changedBlocks_; }
    int blockColumns() const { return (width_ + blockSize - 1) / blockSize; }
    void forgetChanges() { std::fill(changedBlocks_.begin(), changedBlocks_.end(), 0); }

private:
    struct Columns {
        int first = 0;
        int end = 0;
    };
    // The span of columns of the band that differ from the previous frame, in whole chunks,
    // looking only at the columns `within`.
    Columns changedColumns(const VideoFrame& frame, const VideoFrame& previous, int firstRow, int rows,
                           Columns within) const;
    // The span of columns of the band the listed rectangles touch, widened to whole pairs.
    Columns listedColumns(const std::vector<FrameRect>& rects, int firstRow, int rows) const;
    void convert(const VideoFrame& frame, int firstRow, int rows, Columns columns);
    void markChanged(int firstRow, Columns columns);
    void scaleWhole(const VideoFrame& frame);

    int width_;
    int height_;
    FramePtr picture_;
    std::vector<std::uint8_t> changedBlocks_;
    // The frame the picture was last brought up to date with; empty until a frame of the
    // picture's own size has been converted whole.
    SampleBuffer previous_;
    ScaleContextPtr wholeScaler_;
    int wholeWidth_ = 0;
    int wholeHeight_ = 0;
};

}  // namespace kelvane::platform::ffmpeg
