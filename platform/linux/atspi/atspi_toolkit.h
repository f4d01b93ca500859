#pragma once
// The accessibility toolkit on AT-SPI 2: the element under the pointer is the deepest
// accessible at the pointer in the application whose window holds it, the focused
// element is the one with the focused state in the active window, and roles, states and
// actions read in the portable "AX..." vocabulary.
//
// Every bus call is bounded by a short time-out and an application that runs into it is
// skipped for a while, so a frozen application never holds up a caller for long.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <atspi/atspi.h>

#include "platform/accessibility.h"
#include "platform/linux/atspi/unresponsive_applications.h"
#include "platform/linux/atspi/x_pointer_window.h"

namespace kelvane::platform::atspi {

class AtspiToolkit final : public AccessibilityToolkit {
public:
    static constexpr std::chrono::milliseconds callTimeout{100};
    static constexpr std::chrono::seconds quarantine{1};

    AtspiToolkit();

    std::optional<std::string> attributeString(const AccessibleElement& element, std::string_view name) override;
    std::optional<bool> attributeBool(const AccessibleElement& element, std::string_view name) override;
    std::vector<std::string> actionNames(const AccessibleElement& element) override;
    bool hasAttribute(const AccessibleElement& element, std::string_view name) override;
    AccessibleElement parentElement(const AccessibleElement& element) override;
    AccessibleElement elementAtPosition(ScreenPoint point) override;
    AccessibleElement focusedElement() override;
    std::optional<ScreenPoint> pointerPosition() override;

private:
    // Runs one bus call on `object`'s application, unless that application is in
    // quarantine, and notes how long it took. A call that timed out answers nothing.
    template <typename Call>
    auto guarded(AtspiAccessible* object, Call&& call) -> std::optional<decltype(call())>;

    // Whether the accessibility bus could be reached; connects on first use.
    bool available();
    AtspiAccessible* objectOf(const AccessibleElement& element) const;
    AccessibleElement wrap(AtspiAccessible* adopted);
    std::optional<AtspiRole> role(AtspiAccessible* object);
    std::optional<std::string> text(AtspiAccessible* object, gchar* (*read)(AtspiAccessible*, GError**));
    // The state set, or null when it cannot be read; the caller unrefs it.
    AtspiStateSet* states(AtspiAccessible* object);
    bool implementsText(AtspiAccessible* object);
    std::vector<std::string> readActionNames(AtspiAccessible* object);
    AtspiAccessible* deepestAt(AtspiAccessible* window, int x, int y);
    // The application's process id. A bus name is never handed to another connection
    // while the bus lives, so the answer is kept.
    std::optional<pid_t> processOf(AtspiAccessible* application);

    // libatspi is not thread-safe; elements may be dropped on any thread.
    std::shared_ptr<std::recursive_mutex> lock_;
    bool initialised_ = false;
    bool available_ = false;
    UnresponsiveApplications unresponsive_;
    XPointerWindow pointer_;
    std::map<std::string, pid_t> processByBusName_;
};

}  // namespace kelvane::platform::atspi
