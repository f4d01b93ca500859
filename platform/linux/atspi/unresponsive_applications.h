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
    // Records a call to the application that took `took`. An answer is always good,
    // however long it took (a listing is many bus calls, and a busy machine delays any
    // of them). A call that brought no answer and lasted the whole time-out means the
    // application did not answer: it goes into quarantine from `now`, and true comes
    // back, since what the call returned is then no answer of the application.
    bool recordCall(const std::string& application, bool answered, Clock::duration took, Clock::time_point now);

private:
    Clock::duration callTimeout_;
    Clock::duration quarantine_;
    std::map<std::string, Clock::time_point> quarantinedUntil_;
};

}  // namespace kelvane::platform::atspi
