#include "platform/linux/ffmpeg/ffmpeg_media_writer.h"

#include <sys/stat.h>

#include <stdexcept>

#include "platform/linux/ffmpeg/video_encoder_settings.h"

namespace kelvane::platform::ffmpeg {
namespace {

bool encodable(const OutputSettings& settings) {
    if (const auto* video = std::get_if<VideoOutputSettings>(&settings))
        return video->codec == VideoCodec::h264 && proposeVideoSettings(video->width, video->height).has_value();
    const auto& audio = std::get<AudioOutputSettings>(settings);
    return audio.formatId == audioFormatMPEG4AAC && audio.sampleRate == 48000 && audio.channels == 2 &&
           audio.bitRate >= 0;
}

}  // namespace

const char* muxerName(MediaFileType fileType) {
    switch (fileType) {
    case MediaFileType::mpeg4: return "mp4";
    case MediaFileType::quickTimeMovie: return "mov";
    case MediaFileType::appleM4A: return "ipod";
    }
    return "mp4";
}

FfmpegMediaWriter::FfmpegMediaWriter(std::string path, MediaFileType fileType)
    : path_(std::move(path)), fileType_(fileType) {
    struct stat status {};
    if (::lstat(path_.c_str(), &status) == 0)
        throw FfmpegError("Cannot create media file \"" + path_ + "\": a file already exists there");
}

FfmpegMediaWriter::~FfmpegMediaWriter() {
    if (finisher_.joinable()) {
        // The completion may drop the last reference to this writer from the finisher itself.
        if (finisher_.get_id() == std::this_thread::get_id()) {
            finisher_.detach();
        } else {
            finisher_.join();
        }
    }
    if (!finishing_) abandon();
}

std::shared_ptr<MediaWriterInput> FfmpegMediaWriter::makeInput(const OutputSettings& settings, bool) {
    return std::make_shared<WriterInput>(settings);
}

bool FfmpegMediaWriter::canAdd(const MediaWriterInput& input) const {
    const auto* ours = dynamic_cast<const WriterInput*>(&input);
    if (ours == nullptr || state_->status() != MediaWriterStatus::unknown || !encodable(ours->settings())) return false;
    for (const auto& added : inputs_) {
        if (added.get() == ours) return false;
        if (ours->mediaType() == MediaType::video && added->mediaType() == MediaType::video) return false;
    }
    return fileType_ != MediaFileType::appleM4A || ours->mediaType() == MediaType::audio;
}

void FfmpegMediaWriter::add(std::shared_ptr<MediaWriterInput> input) {
    if (!input || !canAdd(*input)) throw std::invalid_argument("This input cannot be added to \"" + path_ + "\"");
    inputs_.push_back(std::static_pointer_cast<WriterInput>(std::move(input)));
}

Result<void> FfmpegMediaWriter::outcome() const {
    if (state_->status() == MediaWriterStatus::failed || state_->error()) return Error{state_->error().value_or("")};
    return {};
}

Result<void> FfmpegMediaWriter::startWriting() {
    if (state_->status() != MediaWriterStatus::unknown) return Error{state_->error().value_or("")};
    try {
        // Encoders first: a size or setting they refuse leaves no file behind.
        for (const auto& input : inputs_) input->openEncoder();
        muxer_ = std::make_unique<MovieMuxer>(path_, muxerName(fileType_));
        for (const auto& input : inputs_) input->attach(state_, *muxer_);
        muxer_->start();
    } catch (const FfmpegError& error) {
        state_->fail(error.what());
        return outcome();
    }
    state_->setStatus(MediaWriterStatus::writing);
    for (const auto& input : inputs_) input->startWorker();
    return {};
}

void FfmpegMediaWriter::startSession(MediaTime time) { state_->setSessionStart(time); }

void FfmpegMediaWriter::endSession(MediaTime time) { state_->setSessionEnd(time); }

void FfmpegMediaWriter::finishWriting(std::function<void(Result<void>)> completion) {
    if (finishing_ || !muxer_) {
        if (completion) completion(outcome());
        return;
    }
    finishing_ = true;
    finisher_ = std::thread([this, completion = std::move(completion)] {
        finish();
        // Nothing of this writer is touched after the completion: it may destroy the writer.
        const Result<void> finished = outcome();
        if (completion) completion(finished);
    });
}

void FfmpegMediaWriter::finish() {
    for (const auto& input : inputs_) input->drain();
    if (state_->status() == MediaWriterStatus::failed) {
        muxer_->abandon();
        return;
    }
    try {
        for (const auto& input : inputs_) input->settleTrack(*muxer_);
        muxer_->finish();
        state_->setStatus(MediaWriterStatus::completed);
    } catch (const FfmpegError& error) {
        state_->fail(error.what());
    }
}

void FfmpegMediaWriter::abandon() {
    for (const auto& input : inputs_) input->drain();
    if (muxer_) muxer_->abandon();
}

}  // namespace kelvane::platform::ffmpeg
