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

bool UnresponsiveApplications::recordCall(const std::string& application, bool answered, Clock::duration took,
                                          Clock::time_point now) {
    // The bus library gives up on a reply at the time-out and does not always say so;
    // an empty result that quick was the application's own answer.
    if (answered || took < callTimeout_) {
        return false;
    }
    quarantinedUntil_[application] = now + quarantine_;
    return true;
}

}  // namespace kelvane::platform::atspi
