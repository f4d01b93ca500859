#pragma once
// One input of an FFmpeg-backed writer: appended buffers wait in a short queue and are
// encoded on the input's own worker thread, so appending never waits for the encoder.
#include <atomic>
#include <chrono>
#include <memory>

#include "platform/linux/ffmpeg/bounded_worker.h"
#include "platform/linux/ffmpeg/movie_muxer.h"
#include "platform/linux/ffmpeg/track_encoder.h"
#include "platform/linux/ffmpeg/writer_state.h"
#include "platform/media_writer.h"

namespace kelvane::platform::ffmpeg {

class WriterInput final : public MediaWriterInput {
public:
    // Frames waiting to be encoded; a 1920x1080 BGRA frame is 8 MB.
    static constexpr std::size_t videoQueueLength = 4;
    // Audio buffers waiting; capture delivers them every 10 to 20 ms.
    static constexpr std::size_t audioQueueLength = 200;
    // How long the worker waits for a buffer before it writes out the fragment in hand.
    static constexpr std::chrono::milliseconds idleAfter{500};

    explicit WriterInput(OutputSettings settings);
    ~WriterInput() override;

    const OutputSettings& settings() const { return settings_; }

    MediaType mediaType() const override;
    bool isReadyForMoreMediaData() const override;
    bool append(const SampleBuffer& buffer) override;
    void markAsFinished() override;

    // Opens the encoder (throws FfmpegError); then attaches it to `muxer` as a new track.
    void openEncoder();
    void attach(std::shared_ptr<WriterState> state, MovieMuxer& muxer);
    // Starts taking buffers.
    void startWorker();
    // Encodes everything queued and drains the encoder; failures go to the writer state.
    void drain();
    // Tells the muxer how the track is timed and where it ends: at the session's end,
    // else where its last frame ends.
    void settleTrack(MovieMuxer& muxer) const;

private:
    void encode(SampleBuffer& buffer);
    void idle();

    OutputSettings settings_;
    std::unique_ptr<TrackEncoder> track_;
    std::shared_ptr<WriterState> state_;
    MovieMuxer* muxer_ = nullptr;
    int stream_ = -1;
    std::unique_ptr<BoundedWorker<SampleBuffer>> worker_;
    std::atomic<bool> finished_{false};
    std::atomic<bool> broken_{false};
};

}  // namespace kelvane::platform::ffmpeg
