#pragma once
// Everything the recorder needs from the operating system, gathered in one place so
// the shipped program and the test build hand the same logic different platforms.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/audio_devices.h"
#include "platform/capture_stream.h"
#include "platform/display_mode.h"
#include "platform/host_clock.h"
#include "platform/media_writer.h"
#include "platform/permissions.h"
#include "platform/shareable_content.h"

namespace kelvane::recorder {

struct RecorderPlatform {
    std::shared_ptr<platform::Permissions> permissions;
    std::shared_ptr<platform::ShareableContent> shareableContent;
    std::shared_ptr<platform::DisplayModes> displayModes;
    std::shared_ptr<platform::CaptureStreams> captureStreams;
    std::shared_ptr<platform::AudioDevices> audioDevices;
    std::shared_ptr<platform::HostClock> hostClock;
    std::function<platform::Result<std::unique_ptr<platform::MediaWriter>>(const std::string& path,
                                                                           platform::MediaFileType)>
        makeWriter;
    std::function<platform::Result<std::unique_ptr<platform::OutputSettingsAssistant>>(platform::OutputSettingsPreset)>
        makeSettingsAssistant;
    // Wall-clock seconds since 1970-01-01 UTC, with their fraction.
    std::function<double()> secondsSince1970;
    std::function<std::string()> currentDirectory;
    // Ends the whole process at once (window validation's own exit).
    std::function<void(int status)> exitProcess;
    // Window validation's poll interval.
    std::chrono::nanoseconds windowPollInterval = std::chrono::milliseconds(500);
};

// The platform this build was linked with: the operating system's in the shipped
// program, scripted fakes in the test build.
RecorderPlatform makeRecorderPlatform();

}  // namespace kelvane::recorder
