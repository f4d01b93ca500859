#include "recorder/output_files.h"

#include <cmath>
#include <filesystem>

namespace kelvane::recorder {

std::string mainOutputPath(const std::string& outputPath, double secondsSince1970, const std::string& currentDirectory) {
    if (!outputPath.empty()) return outputPath;
    const auto wholeSeconds = static_cast<long long>(std::floor(secondsSince1970));
    const std::string name = "output_" + std::to_string(wholeSeconds) + ".mp4";
    return (std::filesystem::path(currentDirectory) / name).string();
}

platform::MediaFileType mainFileType(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension == ".mp4" ? platform::MediaFileType::mpeg4 : platform::MediaFileType::quickTimeMovie;
}

platform::AudioOutputSettings audioOutputSettings(std::int64_t bitRate) {
    return platform::AudioOutputSettings{platform::audioFormatMPEG4AAC, 48000, 2, bitRate};
}

}  // namespace kelvane::recorder
