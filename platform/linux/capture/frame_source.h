#pragma once
// Where a paced capture stream gets its pictures: a display server connection (X11) or a
// screen-cast video stream (PipeWire). The stream asks it, once per frame interval,
// whether anything changed and, when it did, for the current picture.
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/linux/x11/frame_fitting.h"

namespace kelvane::platform::capture {

// The source cannot go on (its server went away); what() describes why, fit for the user.
class FrameSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The current picture and, when the source knows it, the host-clock time (CLOCK_MONOTONIC
// nanoseconds) at which it was shown on screen, and the rectangles of the picture that
// differ from the one grabbed before (nothing when anything may).
struct SourceFrame {
    x11::SourceImage image;
    std::optional<std::int64_t> presentedNs;
    std::optional<std::vector<FrameRect>> changed;
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Called once on the capture thread before the first wait. The start was bounded in
    // time; from here a server that pauses may only delay frames, but every wait must end
    // as soon as `stopFd` becomes readable.
    virtual void beginCapturing(int stopFd) { (void)stopFd; }
    // Waits until the source changed since the last call (true), `deadline` passes or
    // `wakeFd` becomes readable (false). Throws when the source cannot go on.
    virtual bool waitForChange(std::chrono::steady_clock::time_point deadline, int wakeFd) = 0;
    // The current picture, valid until the next call; nothing when there is none to show
    // now (a window closed or unmapped). `whole` asks for all of it read afresh, whatever
    // changed. Throws when the source cannot go on.
    virtual std::optional<SourceFrame> grab(bool whole) = 0;
};

}  // namespace kelvane::platform::capture
