#include "recorder/output_files.h"

#include <cmath>
#include <filesystem>

namespace kelvane::recorder {

std::string absolutePath(const std::string& path, const std::string& currentDirectory) {
    const std::filesystem::path given(path);
    if (path.empty() || given.is_absolute()) return path;
    // ".." stays: after a symbolic link it does not lead back where the link was.
    std::filesystem::path resolved(currentDirectory);
    for (const std::filesystem::path& step : given) {
        if (step != ".") resolved /= step;
    }
    return resolved.string();
}

std::string mainOutputPath(const std::string& outputPath, double secondsSince1970, const std::string& currentDirectory) {
    if (!outputPath.empty()) return absolutePath(outputPath, currentDirectory);
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
