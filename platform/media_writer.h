#pragma once
// Media file writers: one writer per output file, one input per track. The recorder
// creates a writer over a path, adds inputs, starts writing, starts a session at a media
// time and appends retimed sample buffers; finishing ends the session and closes the file.
//
// Threading: an input's isReadyForMoreMediaData/append/markAsFinished are called from one
// thread at a time (the recorder's sample strand, later its finishing task) and never
// block; encoding runs on the writer's own workers. finishWriting completes through a
// callback that may run on any thread; the recorder turns it into an awaitable.
//
// Failures come back as results (platform/result.h); an error with an empty message is
// a failure the writer cannot describe.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "platform/media_time.h"
#include "platform/result.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform {

enum class MediaFileType { mpeg4, quickTimeMovie, appleM4A };
enum class MediaType { video, audio };
enum class VideoCodec { h264 };

// Four-character code of MPEG-4 AAC, 'aac '.
inline constexpr std::uint32_t audioFormatMPEG4AAC = 0x61616320;

struct VideoOutputSettings {
    VideoCodec codec = VideoCodec::h264;
    int width = 0;
    int height = 0;
    // What the settings assistant proposes besides codec and size; 0 / empty = encoder default.
    std::int64_t averageBitRate = 0;
    int maxKeyFrameInterval = 0;
    std::string profileLevel;
};

struct AudioOutputSettings {
    std::uint32_t formatId = audioFormatMPEG4AAC;
    int sampleRate = 48000;
    int channels = 2;
    std::int64_t bitRate = 0;
};

using OutputSettings = std::variant<VideoOutputSettings, AudioOutputSettings>;

class MediaWriterInput {
public:
    virtual ~MediaWriterInput() = default;
    virtual MediaType mediaType() const = 0;
    // False while the input cannot take a buffer now (for example its queue is full).
    virtual bool isReadyForMoreMediaData() const = 0;
    // Hands one buffer (already on the file's timeline) to the input without blocking.
    // False when it was refused: not writing, not ready, wrong media kind, or failed.
    virtual bool append(const SampleBuffer& buffer) = 0;
    // No more buffers follow on this input.
    virtual void markAsFinished() = 0;
};

enum class MediaWriterStatus { unknown, writing, completed, failed, cancelled };

class MediaWriter {
public:
    virtual ~MediaWriter() = default;

    virtual const std::string& path() const = 0;
    virtual MediaFileType fileType() const = 0;

    // A new input that is not yet part of the file; see canAdd / add.
    virtual std::shared_ptr<MediaWriterInput> makeInput(const OutputSettings& settings,
                                                        bool expectsMediaDataInRealTime) = 0;
    // False when this writer cannot take the input (wrong container, already writing, ...).
    virtual bool canAdd(const MediaWriterInput& input) const = 0;
    // Only for an input canAdd accepts: anything else is the caller's mistake.
    virtual void add(std::shared_ptr<MediaWriterInput> input) = 0;

    // Opens the file, or says why it could not.
    virtual Result<void> startWriting() = 0;
    // Buffers before `time` are not shown; the file's timeline starts there.
    virtual void startSession(MediaTime time) = 0;
    // The file's tracks end at `time`; media past it is cut.
    virtual void endSession(MediaTime time) = 0;
    // Drains every input, closes the file, then calls `completion` exactly once (on any
    // thread) with the outcome: done, or the writer's failure, whenever it happened.
    virtual void finishWriting(std::function<void(Result<void>)> completion) = 0;

    virtual MediaWriterStatus status() const = 0;
};

// A writer of `fileType` over `path`, or an error naming the path when the file already
// exists or cannot be created; never overwrites a file.
Result<std::unique_ptr<MediaWriter>> makeMediaWriter(const std::string& path, MediaFileType fileType);

// The source format the settings assistant is told about.
struct VideoFormatDescription {
    VideoCodec codec = VideoCodec::h264;
    int width = 0;
    int height = 0;
};

// An error for a size that no encoder could take (not positive).
inline Result<VideoFormatDescription> makeVideoFormatDescription(VideoCodec codec, int width, int height) {
    if (width <= 0 || height <= 0) return Error{"Invalid video format description size"};
    return VideoFormatDescription{codec, width, height};
}

enum class OutputSettingsPreset { preset3840x2160 };

// Proposes encoder settings for a preset and a source format.
class OutputSettingsAssistant {
public:
    virtual ~OutputSettingsAssistant() = default;
    virtual void setSourceVideoFormat(const VideoFormatDescription& format) = 0;
    // An error when no settings can be built for the preset and source.
    virtual Result<VideoOutputSettings> videoSettings() const = 0;
};

// An error when the platform has no H.264 encoder.
Result<std::unique_ptr<OutputSettingsAssistant>> makeOutputSettingsAssistant(OutputSettingsPreset preset);

}  // namespace kelvane::platform
