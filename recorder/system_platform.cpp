// The shipped program's platform: this system's backends.
#include <filesystem>
#include <chrono>

#include "recorder/recorder_platform.h"

namespace kelvane::recorder {

RecorderPlatform makeRecorderPlatform() {
    RecorderPlatform platform;
    platform.permissions = platform::makePermissions();
    platform.shareableContent = platform::makeShareableContent();
    platform.displayModes = platform::makeDisplayModes();
    platform.captureStreams = platform::makeCaptureStreams();
    platform.audioDevices = platform::makeAudioDevices();
    platform.hostClock = platform::makeHostClock();
    platform.makeWriter = platform::makeMediaWriter;
    platform.makeSettingsAssistant = platform::makeOutputSettingsAssistant;
    platform.secondsSince1970 = [] {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    platform.currentDirectory = [] {
        std::error_code error;
        const auto directory = std::filesystem::current_path(error);
        return error ? std::string(".") : directory.string();
    };
    platform.exitProcess = [](int status) { std::_Exit(status); };
    return platform;
}

}  // namespace kelvane::recorder
