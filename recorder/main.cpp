// kelvane-recorder: records one display or one window for the host application.
#include <cstdlib>
#include <span>

#include "recorder/recorder_platform.h"
#include "recorder/recorder_process.h"

int main(int argc, char** argv) {
    using namespace kelvane::recorder;
    // Every line has already been written unbuffered; end without tearing down the
    // threads that may still be blocked reading input.
    const std::span<const char* const> arguments(argv, static_cast<std::size_t>(argc));
    std::_Exit(runRecorder(arguments, makeRecorderPlatform(), {}));
}
