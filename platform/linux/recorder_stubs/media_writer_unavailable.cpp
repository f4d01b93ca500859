// Used only in a build without a media writer backend: no file can be written, and the
// recorder says so at start.
#include "platform/media_writer.h"

namespace kelvane::platform {

std::unique_ptr<MediaWriter> makeMediaWriter(const std::string& path, MediaFileType) {
    throw MediaWriterError("No media writer is available in this build to write " + path);
}

std::unique_ptr<OutputSettingsAssistant> makeOutputSettingsAssistant(OutputSettingsPreset) { return nullptr; }

}  // namespace kelvane::platform
