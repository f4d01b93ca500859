// Microphones are the Pulse sources that do not merely monitor an output; each is named
// by its description and identified by its source name.
#include "platform/audio_devices.h"
#include "platform/linux/pulse/pulse_source_list.h"

namespace kelvane::platform {
namespace {

class PulseAudioDevices final : public AudioDevices {
public:
    std::vector<AudioInputDevice> audioInputDevices() override {
        std::vector<AudioInputDevice> devices;
        for (const auto& source : pulse::listPulseSources().value_or(std::vector<pulse::PulseSource>{})) {
            if (!source.isMonitor) devices.push_back({source.description, source.name});
        }
        return devices;
    }
};

}  // namespace

std::unique_ptr<AudioDevices> makeAudioDevices() { return std::make_unique<PulseAudioDevices>(); }

}  // namespace kelvane::platform
