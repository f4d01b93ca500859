#pragma once
// MP4, MOV and M4A files written with FFmpeg: one crash-safe muxer per file, one encoder
// worker per input. finishWriting drains the inputs, writes the indexed file and calls
// its completion from a thread of its own.
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/ffmpeg/movie_muxer.h"
#include "platform/linux/ffmpeg/writer_input.h"
#include "platform/linux/ffmpeg/writer_state.h"
#include "platform/media_writer.h"

namespace kelvane::platform::ffmpeg {

// The FFmpeg muxer for a file type: "mp4", "mov" or "ipod".
const char* muxerName(MediaFileType fileType);

class FfmpegMediaWriter final : public MediaWriter {
public:
    // Throws FfmpegError naming the path when something already exists there.
    FfmpegMediaWriter(std::string path, MediaFileType fileType);
    ~FfmpegMediaWriter() override;

    const std::string& path() const override { return path_; }
    MediaFileType fileType() const override { return fileType_; }

    std::shared_ptr<MediaWriterInput> makeInput(const OutputSettings& settings, bool expectsMediaDataInRealTime) override;
    bool canAdd(const MediaWriterInput& input) const override;
    void add(std::shared_ptr<MediaWriterInput> input) override;

    Result<void> startWriting() override;
    void startSession(MediaTime time) override;
    void endSession(MediaTime time) override;
    void finishWriting(std::function<void(Result<void>)> completion) override;

    MediaWriterStatus status() const override { return state_->status(); }

private:
    // Done, or the failure with its description (empty when there is none).
    Result<void> outcome() const;
    void finish();
    void abandon();

    std::string path_;
    MediaFileType fileType_;
    std::shared_ptr<WriterState> state_ = std::make_shared<WriterState>();
    std::vector<std::shared_ptr<WriterInput>> inputs_;
    std::unique_ptr<MovieMuxer> muxer_;
    std::thread finisher_;
    bool finishing_ = false;
};

}  // namespace kelvane::platform::ffmpeg
