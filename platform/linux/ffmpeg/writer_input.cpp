#include "platform/linux/ffmpeg/writer_input.h"

#include "platform/linux/ffmpeg/audio_track.h"
#include "platform/linux/ffmpeg/media_ticks.h"
#include "platform/linux/ffmpeg/video_track.h"

namespace kelvane::platform::ffmpeg {

WriterInput::WriterInput(OutputSettings settings) : settings_(std::move(settings)) {}

WriterInput::~WriterInput() {
    // The worker uses the track; stop it first.
    worker_.reset();
}

MediaType WriterInput::mediaType() const {
    return std::holds_alternative<VideoOutputSettings>(settings_) ? MediaType::video : MediaType::audio;
}

bool WriterInput::isReadyForMoreMediaData() const {
    return worker_ && !finished_ && !broken_ && state_->status() == MediaWriterStatus::writing &&
           !worker_->isFull();
}

bool WriterInput::append(const SampleBuffer& buffer) {
    if (!buffer.isValid() || !isReadyForMoreMediaData() || !state_->sessionStart()) return false;
    const bool rightKind = mediaType() == MediaType::video ? buffer.videoFrame() != nullptr : buffer.audioPcm() != nullptr;
    if (!rightKind) return false;
    return worker_->tryPush(buffer);
}

void WriterInput::markAsFinished() {
    finished_ = true;
    if (worker_) worker_->close();
}

void WriterInput::openEncoder() {
    if (const auto* video = std::get_if<VideoOutputSettings>(&settings_)) {
        track_ = std::make_unique<VideoTrack>(*video);
    } else {
        track_ = std::make_unique<AudioTrack>(std::get<AudioOutputSettings>(settings_).bitRate);
    }
}

void WriterInput::attach(std::shared_ptr<WriterState> state, MovieMuxer& muxer) {
    state_ = std::move(state);
    muxer_ = &muxer;
    stream_ = muxer.addStream(track_->context());
    track_->connect([&muxer, stream = stream_](AVPacket& packet) { muxer.write(stream, packet); });
}

void WriterInput::startWorker() {
    const std::size_t length = mediaType() == MediaType::video ? videoQueueLength : audioQueueLength;
    worker_ = std::make_unique<BoundedWorker<SampleBuffer>>(
        length, [this](SampleBuffer& buffer) { encode(buffer); }, idleAfter, [this] { idle(); });
}

void WriterInput::encode(SampleBuffer& buffer) {
    if (broken_) return;
    const auto start = state_->sessionStart();
    if (!start) return;
    try {
        track_->encode(buffer, *start, state_->sessionEnd());
    } catch (const FfmpegError& error) {
        broken_ = true;
        state_->fail(error.what());
    }
}

// A fragment is normally written at the next keyframe or second of media; when nothing
// comes for a while, what has been collected is written now, so a crash cannot take it.
void WriterInput::idle() {
    if (broken_) return;
    try {
        muxer_->flushFragment();
    } catch (const FfmpegError& error) {
        broken_ = true;
        state_->fail(error.what());
    }
}

void WriterInput::drain() {
    if (!worker_) return;
    finished_ = true;
    worker_->close();
    worker_->join();
    const auto start = state_->sessionStart();
    if (broken_ || !start) return;
    try {
        track_->flush(*start, state_->sessionEnd());
    } catch (const FfmpegError& error) {
        broken_ = true;
        state_->fail(error.what());
    }
}

void WriterInput::settleTrack(MovieMuxer& muxer) const {
    const auto start = state_->sessionStart();
    const auto end = state_->sessionEnd();
    if (stream_ < 0) return;
    std::optional<std::int64_t> endTicks = track_->naturalEnd();
    if (start && end) endTicks = ticksSince(*start, *end, track_->context().time_base.den);
    muxer.settleTrack(stream_, endTicks, track_->holdsLastFrame());
}

}  // namespace kelvane::platform::ffmpeg
