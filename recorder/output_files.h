#pragma once
// Where the main movie file goes, which container it gets, and the audio encoder settings.
#include <cstdint>
#include <string>

#include "platform/media_writer.h"

namespace kelvane::recorder {

inline constexpr std::int64_t inlineAudioBitRate = 192000;
inline constexpr std::int64_t systemAudioBitRate = 160000;
inline constexpr std::int64_t microphoneAudioBitRate = 128000;

// `path` made absolute against `currentDirectory`, with its "." steps left out; an empty
// or already absolute path is returned as it is.
std::string absolutePath(const std::string& path, const std::string& currentDirectory);

// `outputPath` made absolute when it is not empty, else
// "output_<whole seconds since 1970>.mp4" in `currentDirectory`.
std::string mainOutputPath(const std::string& outputPath, double secondsSince1970, const std::string& currentDirectory);

// MPEG-4 when the path's extension, lower-cased, is "mp4"; QuickTime movie otherwise.
platform::MediaFileType mainFileType(const std::string& path);

platform::AudioOutputSettings audioOutputSettings(std::int64_t bitRate);

}  // namespace kelvane::recorder
