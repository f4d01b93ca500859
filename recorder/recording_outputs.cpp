#include "recorder/recording_outputs.h"

#include <stdexcept>

#include "recorder/output_files.h"

namespace kelvane::recorder {

const AudioFileKind systemAudioFileKind{systemAudioBitRate, capture_errors::missingSystemAudioPath,
                                        capture_errors::cannotAddSystemAudioInput,
                                        capture_errors::systemAudioWriterDidNotStart};
const AudioFileKind microphoneFileKind{microphoneAudioBitRate, capture_errors::missingMicrophonePath,
                                       capture_errors::cannotAddMicrophoneInput,
                                       capture_errors::microphoneWriterDidNotStart};

void beginWriting(platform::MediaWriter& writer, WriterDidNotStart didNotStart) {
    const platform::Result<void> started = writer.startWriting();
    if (!started) throw didNotStart(started.error().message);
    writer.startSession(platform::MediaTime::zero());
}

std::unique_ptr<platform::MediaWriter> makeWriterOrThrow(const WriterFactory& makeWriter, const std::string& path,
                                                         platform::MediaFileType fileType) {
    auto made = makeWriter(path, fileType);
    if (!made) throw std::runtime_error(made.error().message);
    return std::move(made).value();
}

void openAudioFile(AudioFile& file, const std::string& path, const AudioFileKind& kind,
                   const WriterFactory& makeWriter) {
    if (path.empty()) throw kind.missingPath();
    const std::shared_ptr<platform::MediaWriter> writer =
        makeWriterOrThrow(makeWriter, path, platform::MediaFileType::appleM4A);
    const auto input = writer->makeInput(audioOutputSettings(kind.bitRate), true);
    if (!writer->canAdd(*input)) throw kind.cannotAddInput();
    writer->add(input);
    file = {writer, input};
    beginWriting(*writer, kind.didNotStart);
}

}  // namespace kelvane::recorder
