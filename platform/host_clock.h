#pragma once
// The host time clock: CLOCK_MONOTONIC in nanoseconds (timescale 1000000000). Capture
// streams stamp every sample with it, so a pause taken from it lines up with samples.
#include <memory>

#include "platform/media_time.h"

namespace kelvane::platform {

inline constexpr std::int32_t hostClockTimescale = 1'000'000'000;

class HostClock {
public:
    virtual ~HostClock() = default;
    virtual MediaTime now() const = 0;
};

// CLOCK_MONOTONIC now, in nanoseconds: the one reading of the host clock that every
// sample, capture deadline and timing report is stamped with, so they all line up.
std::int64_t monotonicNanoseconds();

// The same reading as a media time.
MediaTime monotonicHostTime();

// The real host clock.
std::shared_ptr<HostClock> makeHostClock();

}  // namespace kelvane::platform
