#include "platform/host_clock.h"

#include <ctime>

namespace kelvane::platform {
namespace {

class MonotonicClock final : public HostClock {
public:
    MediaTime now() const override { return monotonicHostTime(); }
};

}  // namespace

MediaTime monotonicHostTime() {
    timespec reading{};
    clock_gettime(CLOCK_MONOTONIC, &reading);
    return MediaTime::make(static_cast<std::int64_t>(reading.tv_sec) * hostClockTimescale + reading.tv_nsec,
                           hostClockTimescale);
}

std::shared_ptr<HostClock> makeHostClock() { return std::make_shared<MonotonicClock>(); }

}  // namespace kelvane::platform
