#pragma once
// Remembers which applications recently let an accessibility call run into its time-out,
// so that later calls to them answer "absent" at once for a while instead of each
// waiting out the time-out again. A frozen application thus costs one time-out per
// quarantine period, not one per attribute read.
#include <chrono>
#include <map>
#include <string>

namespace kelvane::platform::atspi {

class UnresponsiveApplications {
public:
    using Clock = std::chrono::steady_clock;

    UnresponsiveApplications(Clock::duration callTimeout, Clock::duration quarantine);

    // Whether calls to this application should be skipped at `now`.
    bool isQuarantined(const std::string& application, Clock::time_point now);
    // Records how long a call to the application took; one that reached the time-out
    // puts the application into quarantine from `now`. Returns whether it timed out:
    // the bus library does not always report a time-out as an error, so its answer
    // must then be thrown away.
    bool recordCall(const std::string& application, Clock::duration took, Clock::time_point now);

private:
    Clock::duration callTimeout_;
    Clock::duration quarantine_;
    std::map<std::string, Clock::time_point> quarantinedUntil_;
};

}  // namespace kelvane::platform::atspi
