#include "recorder/microphone_resolution.h"

#include "common/unicode_text.h"

namespace kelvane::recorder {

std::optional<std::string> resolveMicrophoneCaptureDeviceID(const CaptureConfig& config,
                                                            const std::vector<platform::AudioInputDevice>& devices) {
    if (config.microphoneLabel) {
        if (const auto label = common::trimmedText(*config.microphoneLabel)) {
            for (const auto& device : devices) {
                if (common::canonicallyEqual(device.localizedName, *label)) return device.uniqueID;
            }
        }
    }
    if (config.microphoneDeviceId) {
        if (const auto identifier = common::trimmedText(*config.microphoneDeviceId)) {
            for (const auto& device : devices) {
                if (common::canonicallyEqual(device.uniqueID, *identifier)) return *identifier;
            }
        }
    }
    return std::nullopt;
}

}  // namespace kelvane::recorder
