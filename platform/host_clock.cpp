#include "platform/host_clock.h"

#include <ctime>

namespace kelvane::platform {
namespace {

class MonotonicClock final : public HostClock {
public:
    MediaTime now() const override { return monotonicHostTime(); }
};

}  // namespace

std::int64_t monotonicNanoseconds() {
    timespec reading{};
    clock_gettime(CLOCK_MONOTONIC, &reading);
    return static_cast<std::int64_t>(reading.tv_sec) * hostClockTimescale + reading.tv_nsec;
}

MediaTime monotonicHostTime() { return MediaTime::make(monotonicNanoseconds(), hostClockTimescale); }

std::shared_ptr<HostClock> makeHostClock() { return std::make_shared<MonotonicClock>(); }

}  // namespace kelvane::platform
