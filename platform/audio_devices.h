#pragma once
// Audio input devices (microphones), in the platform's own stable order.
#include <memory>
#include <string>
#include <vector>

namespace kelvane::platform {

struct AudioInputDevice {
    std::string localizedName;
    std::string uniqueID;
};

class AudioDevices {
public:
    virtual ~AudioDevices() = default;
    virtual std::vector<AudioInputDevice> audioInputDevices() = 0;
};

std::unique_ptr<AudioDevices> makeAudioDevices();

}  // namespace kelvane::platform
