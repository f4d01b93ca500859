#include "recorder/recording_outputs.h"

#include "recorder/output_files.h"

namespace kelvane::recorder {

const AudioFileKind systemAudioFileKind{systemAudioBitRate, capture_errors::missingSystemAudioPath,
                                        capture_errors::cannotAddSystemAudioInput,
                                        capture_errors::systemAudioWriterDidNotStart};
const AudioFileKind microphoneFileKind{microphoneAudioBitRate, capture_errors::missingMicrophonePath,
                                       capture_errors::cannotAddMicrophoneInput,
                                       capture_errors::microphoneWriterDidNotStart};

void beginWriting(platform::MediaWriter& writer, WriterDidNotStart didNotStart) {
    if (!writer.startWriting()) throw didNotStart(writer.error());
    writer.startSession(platform::MediaTime::zero());
}

void openAudioFile(AudioFile& file, const std::string& path, const AudioFileKind& kind,
                   const WriterFactory& makeWriter) {
    if (path.empty()) throw kind.missingPath();
    const std::shared_ptr<platform::MediaWriter> writer = makeWriter(path, platform::MediaFileType::appleM4A);
    const auto input = writer->makeInput(audioOutputSettings(kind.bitRate), true);
    if (!writer->canAdd(*input)) throw kind.cannotAddInput();
    writer->add(input);
    file = {writer, input};
    beginWriting(*writer, kind.didNotStart);
}

}  // namespace kelvane::recorder
