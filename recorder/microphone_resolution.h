#pragma once
// Which microphone the capture stream records from.
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_devices.h"
#include "recorder/capture_config.h"

namespace kelvane::recorder {

// The unique identifier of the wanted device, or nothing for the stream's default
// microphone. The display name is tried first, then the identifier; each is trimmed and
// compared exactly (canonically equivalent Unicode forms are equal).
std::optional<std::string> resolveMicrophoneCaptureDeviceID(const CaptureConfig& config,
                                                            const std::vector<platform::AudioInputDevice>& devices);

}  // namespace kelvane::recorder
