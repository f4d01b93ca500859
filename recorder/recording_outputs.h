#pragma once
// The recording's writers and their inputs: the main movie with its video track and its
// inline audio track, and one M4A file for each audio source kept on its own.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media_writer.h"
#include "recorder/capture_error.h"

namespace kelvane::recorder {

using WriterFactory =
    std::function<std::unique_ptr<platform::MediaWriter>(const std::string& path, platform::MediaFileType)>;
using WriterDidNotStart = CaptureError (*)(const std::optional<std::string>& writerError);

struct AudioFile {
    std::shared_ptr<platform::MediaWriter> writer;
    std::shared_ptr<platform::MediaWriterInput> input;
};

struct RecordingOutputs {
    std::shared_ptr<platform::MediaWriter> assetWriter;
    std::shared_ptr<platform::MediaWriterInput> videoInput;
    std::shared_ptr<platform::MediaWriterInput> inlineAudioInput;
    AudioFile systemAudio;
    AudioFile microphoneOnly;
};

// What tells one separate audio file from the other: its bit rate and its failures.
struct AudioFileKind {
    std::int64_t bitRate;
    CaptureError (*missingPath)();
    CaptureError (*cannotAddInput)();
    WriterDidNotStart didNotStart;
};
extern const AudioFileKind systemAudioFileKind;
extern const AudioFileKind microphoneFileKind;

// Starts `writer` with its session at time zero.
void beginWriting(platform::MediaWriter& writer, WriterDidNotStart didNotStart);

// Opens the file at `path` (empty when none was given) into `file` and starts it. `file`
// is filled as it goes, so after a failure it holds what was made for the caller to keep.
void openAudioFile(AudioFile& file, const std::string& path, const AudioFileKind& kind,
                   const WriterFactory& makeWriter);

}  // namespace kelvane::recorder
