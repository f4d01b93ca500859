#pragma once
// The recorder process from its arguments to its exit status.
#include <span>

#include "common/program_start.h"
#include "recorder/recorder_platform.h"

namespace kelvane::recorder {

// Runs the start-up checks, the recording and the command loop on the descriptors' input, and returns
// the exit status. Once the service exists it is kept, with its threads, until the
// process ends: the caller exits right after this returns.
int runRecorder(std::span<const char* const> arguments, RecorderPlatform platform,
                const common::ProgramDescriptors& descriptors);

}  // namespace kelvane::recorder
