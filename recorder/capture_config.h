#pragma once
// The recording the host asks for, decoded from the JSON object given as argument 1.
// Every key is optional; defaults are applied where each field is used.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvane::recorder {

struct CaptureConfig {
    std::optional<std::int64_t> fps;
    std::optional<std::uint32_t> displayId;
    std::optional<std::uint32_t> windowId;
    std::optional<std::string> outputPath;
    std::optional<bool> capturesSystemAudio;
    std::optional<bool> capturesMicrophone;
    std::optional<std::string> systemAudioOutputPath;
    std::optional<std::string> microphoneDeviceId;
    std::optional<std::string> microphoneLabel;
    std::optional<std::string> microphoneOutputPath;
};

// A configuration that is not a JSON object, or a key of the wrong type or range.
// what() is the description the host is shown.
class CaptureConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Keys not listed above are ignored; a key whose value is null counts as absent.
CaptureConfig decodeCaptureConfig(std::string_view utf8Json);

}  // namespace kelvane::recorder
