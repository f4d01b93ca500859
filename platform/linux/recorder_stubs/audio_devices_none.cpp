// Placeholder until the sound-server backend lists its sources: no microphone is known,
// so a requested device resolves to the stream's default one.
#include "platform/audio_devices.h"

namespace kelvane::platform {
namespace {

class NoAudioDevices final : public AudioDevices {
public:
    std::vector<AudioInputDevice> audioInputDevices() override { return {}; }
};

}  // namespace

std::unique_ptr<AudioDevices> makeAudioDevices() { return std::make_unique<NoAudioDevices>(); }

}  // namespace kelvane::platform
