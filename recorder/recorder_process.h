#pragma once
// The recorder process from its arguments to its exit status.
#include "recorder/recorder_platform.h"

namespace kelvane::recorder {

// Runs the start-up checks, the recording and the command loop on `inputFd`, and returns
// the exit status. Once the service exists it is kept, with its threads, until the
// process ends: the caller exits right after this returns.
int runRecorder(int argc, char** argv, RecorderPlatform platform, int inputFd);

}  // namespace kelvane::recorder
