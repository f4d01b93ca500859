#include "platform/linux/atspi/unresponsive_applications.h"

namespace kelvane::platform::atspi {

UnresponsiveApplications::UnresponsiveApplications(Clock::duration callTimeout, Clock::duration quarantine)
    : callTimeout_(callTimeout), quarantine_(quarantine) {}

bool UnresponsiveApplications::isQuarantined(const std::string& application, Clock::time_point now) {
    auto found = quarantinedUntil_.find(application);
    if (found == quarantinedUntil_.end()) {
        return false;
    }
    if (now < found->second) {
        return true;
    }
    quarantinedUntil_.erase(found);
    return false;
}

bool UnresponsiveApplications::recordCall(const std::string& application, Clock::duration took,
                                          Clock::time_point now) {
    // A reply that came within the last tenth of the time-out counts as one that did
    // not come: the application is barely answering.
    if (took * 10 < callTimeout_ * 9) {
        return false;
    }
    quarantinedUntil_[application] = now + quarantine_;
    return true;
}

}  // namespace kelvane::platform::atspi
