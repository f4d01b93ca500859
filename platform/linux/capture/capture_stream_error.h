#pragma once
// What the capture backends raise among themselves; the streams hand it to their callers
// as an error whose description is what().
#include <stdexcept>

#include "platform/capture_stream.h"

namespace kelvane::platform::capture {

class CaptureStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user declined to let the screen be recorded.
class ScreenSharingDeclined : public CaptureStreamError {
public:
    ScreenSharingDeclined() : CaptureStreamError(screenSharingDeclinedDescription) {}
};

}  // namespace kelvane::platform::capture
