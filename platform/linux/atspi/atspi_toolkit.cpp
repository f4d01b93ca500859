#include "platform/linux/atspi/atspi_toolkit.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/linux/atspi/accessibility_bus_address.h"
#include "platform/linux/atspi/atspi_role_mapping.h"

namespace kelvane::platform::atspi {
namespace {

// Where every application exposes its root accessible; its parent is the desktop,
// which is no element of the application any more.
constexpr const char* applicationRootPath = "/org/a11y/atspi/accessible/root";

// Deeper than any real widget tree; guards against a tree that points back at itself.
constexpr int maxHitTestDepth = 64;

class AtspiElement final : public AccessibleElementHandle {
public:
    AtspiElement(AtspiAccessible* adopted, std::shared_ptr<std::recursive_mutex> lock)
        : object_(adopted), lock_(std::move(lock)) {}
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;
    ~AtspiElement() override {
        std::lock_guard guard(*lock_);
        g_object_unref(object_);
    }

    AtspiAccessible* object() const { return object_; }

    // What has been read of this element so far. Callers get a fresh handle for every
    // hit test, focus look-up and parent step, so a reading lives as long as one look
    // at the screen and is never carried over to the next one; within it, the several
    // rules that ask the same question cost one bus call instead of one each.
    struct Readings {
        std::optional<std::optional<AtspiRole>> role;
        std::optional<std::optional<std::string>> roleDescription;
        std::optional<std::optional<std::string>> description;
        std::optional<std::optional<std::string>> title;
        std::optional<std::optional<std::pair<bool, bool>>> editableAndEnabled;
        std::optional<std::vector<std::string>> actions;
        std::optional<bool> implementsText;
    };
    mutable Readings readings;

private:
    AtspiAccessible* object_;
    std::shared_ptr<std::recursive_mutex> lock_;
};

template <typename T, typename Read>
T remembered(std::optional<T>& slot, Read&& read) {
    if (!slot) {
        slot = read();
    }
    return *slot;
}

std::string applicationKey(AtspiAccessible* object) {
    AtspiApplication* application = ATSPI_OBJECT(object)->app;
    return application != nullptr && application->bus_name != nullptr ? application->bus_name : "";
}

bool hasState(AtspiStateSet* set, AtspiStateType state) {
    return set != nullptr && atspi_state_set_contains(set, state);
}

// An owned GObject reference, released on scope exit.
template <typename T>
struct Unref {
    void operator()(T* object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Unref<T>>;

// Whether a call's result is something the application said, rather than the empty
// value the bus library hands back when no answer came (it does not always report the
// time-out as an error).
template <typename T>
bool answered(const std::optional<T>& value) {
    return value.has_value();
}
bool answered(const std::optional<std::string>& text) { return text.has_value() && !text->empty(); }
template <typename T>
bool answered(const Owned<T>& object) {
    return object != nullptr;
}
bool answered(const Owned<AtspiStateSet>& set) {
    return set != nullptr && !atspi_state_set_is_empty(set.get()) &&
           !atspi_state_set_contains(set.get(), ATSPI_STATE_DEFUNCT);
}
template <typename T>
bool answered(const std::vector<T>& values) {
    return !values.empty();
}
bool answered(bool value) { return value; }

}  // namespace

AtspiToolkit::AtspiToolkit()
    : lock_(std::make_shared<std::recursive_mutex>()), unresponsive_(callTimeout, quarantine) {}

bool AtspiToolkit::available() {
    // Connecting starts the accessibility bus on demand, so it waits for the first
    // question rather than slowing down programs that never ask one.
    if (!initialised_) {
        // Asked again on a later call, when the X server may answer again.
        if (prepareAccessibilityBusAddress() == BusAddressLookup::displaySilent) return false;
        initialised_ = true;
        // No grace period for applications that are starting: a poll never waits
        // longer than one time-out for anybody.
        atspi_set_timeout(static_cast<gint>(callTimeout.count()), 0);
        // 0: set up now; 1: already set up in this process; 2: no accessibility bus.
        available_ = atspi_init() != 2;
    }
    return available_;
}

template <typename Call>
auto AtspiToolkit::guarded(AtspiAccessible* object, Call&& call) -> std::optional<decltype(call())> {
    std::string application = applicationKey(object);
    auto started = UnresponsiveApplications::Clock::now();
    if (unresponsive_.isQuarantined(application, started)) {
        return std::nullopt;
    }
    auto result = call();
    auto finished = UnresponsiveApplications::Clock::now();
    if (unresponsive_.recordCall(application, answered(result), finished - started, finished)) {
        return std::nullopt;
    }
    return result;
}

namespace {

const AtspiElement* handleOf(const AccessibleElement& element) {
    return dynamic_cast<const AtspiElement*>(element.get());
}

}  // namespace

AtspiAccessible* AtspiToolkit::objectOf(const AccessibleElement& element) const {
    const AtspiElement* handle = handleOf(element);
    return handle != nullptr ? handle->object() : nullptr;
}

AccessibleElement AtspiToolkit::wrap(AtspiAccessible* adopted) {
    if (adopted == nullptr) {
        return nullptr;
    }
    return std::make_shared<AtspiElement>(adopted, lock_);
}

std::optional<AtspiRole> AtspiToolkit::role(AtspiAccessible* object) {
    auto read = guarded(object, [&]() -> std::optional<AtspiRole> {
        GError* error = nullptr;
        AtspiRole value = atspi_accessible_get_role(object, &error);
        if (error != nullptr) {
            g_error_free(error);
            return std::nullopt;
        }
        if (value == ATSPI_ROLE_INVALID) {
            return std::nullopt;
        }
        return value;
    });
    return read ? *read : std::nullopt;
}

std::optional<std::string> AtspiToolkit::text(AtspiAccessible* object,
                                              gchar* (*read)(AtspiAccessible*, GError**)) {
    auto value = guarded(object, [&]() -> std::optional<std::string> {
        GError* error = nullptr;
        gchar* raw = read(object, &error);
        std::optional<std::string> result;
        if (error == nullptr && raw != nullptr) {
            result = std::string(raw);
        }
        g_clear_error(&error);
        g_free(raw);
        return result;
    });
    return value ? *value : std::nullopt;
}

AtspiStateSet* AtspiToolkit::states(AtspiAccessible* object) {
    // An owned reference inside, so a set thrown away after a time-out is released.
    auto set = guarded(object, [&] { return Owned<AtspiStateSet>(atspi_accessible_get_state_set(object)); });
    return set ? set->release() : nullptr;
}

bool AtspiToolkit::implementsText(AtspiAccessible* object) {
    auto implements = guarded(object, [&] {
        Owned<AtspiText> text(atspi_accessible_get_text_iface(object));
        return text != nullptr;
    });
    return implements.value_or(false);
}

std::optional<std::string> AtspiToolkit::attributeString(const AccessibleElement& element, std::string_view name) {
    std::lock_guard guard(*lock_);
    const AtspiElement* handle = handleOf(element);
    if (handle == nullptr) {
        return std::nullopt;
    }
    AtspiAccessible* object = handle->object();
    AtspiElement::Readings& readings = handle->readings;
    if (name == "AXRole" || name == "AXSubrole") {
        std::optional<AtspiRole> read = remembered(readings.role, [&] { return role(object); });
        if (!read) {
            return std::nullopt;
        }
        AxRole mapped = axRoleFor(*read);
        return name == "AXRole" ? std::optional(mapped.role) : mapped.subrole;
    }
    if (name == "AXRoleDescription") {
        return remembered(readings.roleDescription,
                          [&] { return text(object, atspi_accessible_get_localized_role_name); });
    }
    if (name == "AXDescription") {
        return remembered(readings.description, [&] { return text(object, atspi_accessible_get_description); });
    }
    if (name == "AXTitle") {
        return remembered(readings.title, [&] { return text(object, atspi_accessible_get_name); });
    }
    // AT-SPI has no separate help text; a tooltip, where a toolkit exposes one, already
    // reads as the description.
    return std::nullopt;
}

std::optional<bool> AtspiToolkit::attributeBool(const AccessibleElement& element, std::string_view name) {
    std::lock_guard guard(*lock_);
    const AtspiElement* handle = handleOf(element);
    if (handle == nullptr || (name != "AXEditable" && name != "AXEnabled")) {
        return std::nullopt;
    }
    std::optional<std::pair<bool, bool>> flags =
        remembered(handle->readings.editableAndEnabled, [&]() -> std::optional<std::pair<bool, bool>> {
            Owned<AtspiStateSet> set(states(handle->object()));
            if (set == nullptr) {
                return std::nullopt;
            }
            return std::pair(hasState(set.get(), ATSPI_STATE_EDITABLE),
                             hasState(set.get(), ATSPI_STATE_ENABLED) && hasState(set.get(), ATSPI_STATE_SENSITIVE));
        });
    if (!flags) {
        return std::nullopt;
    }
    return name == "AXEditable" ? flags->first : flags->second;
}

std::vector<std::string> AtspiToolkit::actionNames(const AccessibleElement& element) {
    std::lock_guard guard(*lock_);
    const AtspiElement* handle = handleOf(element);
    if (handle == nullptr) {
        return {};
    }
    return remembered(handle->readings.actions, [&] { return readActionNames(handle->object()); });
}

std::vector<std::string> AtspiToolkit::readActionNames(AtspiAccessible* object) {
    auto names = guarded(object, [&] {
        std::vector<std::string> result;
        Owned<AtspiAction> action(atspi_accessible_get_action_iface(object));
        if (action == nullptr) {
            return result;
        }
        GError* error = nullptr;
        gint count = atspi_action_get_n_actions(action.get(), &error);
        if (error != nullptr) {
            g_error_free(error);
            return result;
        }
        bool pressListed = false;
        for (gint i = 0; i < count; ++i) {
            gchar* raw = atspi_action_get_action_name(action.get(), i, &error);
            if (error != nullptr) {
                g_clear_error(&error);
                g_free(raw);
                return std::vector<std::string>{};
            }
            std::string actionName = raw != nullptr ? raw : "";
            g_free(raw);
            if (isPressAction(actionName)) {
                if (!pressListed) {
                    result.emplace_back(axPressAction);
                    pressListed = true;
                }
            } else {
                result.push_back(std::move(actionName));
            }
        }
        return result;
    });
    return names.value_or(std::vector<std::string>{});
}

bool AtspiToolkit::hasAttribute(const AccessibleElement& element, std::string_view name) {
    std::lock_guard guard(*lock_);
    if (objectOf(element) == nullptr) {
        return false;
    }
    if (name == "AXSelectedTextRange" || name == "AXNumberOfCharacters") {
        const AtspiElement* handle = handleOf(element);
        return remembered(handle->readings.implementsText, [&] { return implementsText(handle->object()); });
    }
    if (name == "AXEditable" || name == "AXEnabled") {
        return attributeBool(element, name).has_value();
    }
    if (name == "AXParent") {
        return parentElement(element) != nullptr;
    }
    return attributeString(element, name).has_value();
}

AccessibleElement AtspiToolkit::parentElement(const AccessibleElement& element) {
    std::lock_guard guard(*lock_);
    AtspiAccessible* object = objectOf(element);
    if (object == nullptr || std::strcmp(ATSPI_OBJECT(object)->path, applicationRootPath) == 0) {
        return nullptr;
    }
    // Answers are owned references, so one thrown away after a time-out is released.
    auto parent = guarded(object, [&] {
        GError* error = nullptr;
        Owned<AtspiAccessible> found(atspi_accessible_get_parent(object, &error));
        if (error != nullptr) {
            g_error_free(error);
            found.reset();
        }
        return found;
    });
    return parent ? wrap(parent->release()) : nullptr;
}

AtspiAccessible* AtspiToolkit::deepestAt(AtspiAccessible* window, int x, int y) {
    AtspiAccessible* current = ATSPI_ACCESSIBLE(g_object_ref(window));
    for (int depth = 0; depth < maxHitTestDepth; ++depth) {
        auto child = guarded(current, [&] {
            Owned<AtspiAccessible> found;
            Owned<AtspiComponent> component(atspi_accessible_get_component_iface(current));
            if (component == nullptr) {
                return found;
            }
            GError* error = nullptr;
            found.reset(atspi_component_get_accessible_at_point(component.get(), x, y, ATSPI_COORD_TYPE_SCREEN, &error));
            if (error != nullptr) {
                g_error_free(error);
                found.reset();
            }
            return found;
        });
        AtspiAccessible* next = child ? child->release() : nullptr;
        if (next == nullptr) {
            break;
        }
        if (next == current) {
            g_object_unref(next);
            break;
        }
        g_object_unref(current);
        current = next;
    }
    return current;
}

namespace {

// The application's top-level windows, each with a reference the caller drops.
std::vector<Owned<AtspiAccessible>> childrenOf(AtspiAccessible* parent) {
    std::vector<Owned<AtspiAccessible>> children;
    GError* error = nullptr;
    gint count = atspi_accessible_get_child_count(parent, &error);
    if (error != nullptr) {
        g_error_free(error);
        return children;
    }
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(parent, i, &error);
        if (error != nullptr) {
            g_clear_error(&error);
            if (child != nullptr) {
                g_object_unref(child);
            }
            // The tree changed under us; what was read so far is still good.
            break;
        }
        if (child != nullptr) {
            children.emplace_back(child);
        }
    }
    return children;
}

}  // namespace

std::optional<pid_t> AtspiToolkit::processOf(AtspiAccessible* application) {
    std::string busName = applicationKey(application);
    if (auto known = processByBusName_.find(busName); known != processByBusName_.end()) {
        return known->second;
    }
    // Asked of the bus daemon, not of the application, so it needs no guard.
    GError* error = nullptr;
    guint pid = atspi_accessible_get_process_id(application, &error);
    if (error != nullptr) {
        g_error_free(error);
        return std::nullopt;
    }
    processByBusName_.emplace(busName, static_cast<pid_t>(pid));
    return static_cast<pid_t>(pid);
}

AccessibleElement AtspiToolkit::elementAtPosition(ScreenPoint point) {
    std::lock_guard guard(*lock_);
    if (!available()) {
        return nullptr;
    }
    const int x = static_cast<int>(std::floor(point.x));
    const int y = static_cast<int>(std::floor(point.y));
    Owned<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (desktop == nullptr) {
        return nullptr;
    }
    auto applications = guarded(desktop.get(), [&] { return childrenOf(desktop.get()); });
    if (!applications) {
        return nullptr;
    }
    struct Candidate {
        Owned<AtspiAccessible> window;
        AtspiAccessible* application;
        bool active;
    };
    std::vector<Candidate> candidates;
    for (Owned<AtspiAccessible>& application : *applications) {
        auto windows = guarded(application.get(), [&] { return childrenOf(application.get()); });
        if (!windows) {
            continue;
        }
        for (Owned<AtspiAccessible>& window : *windows) {
            Owned<AtspiStateSet> set(states(window.get()));
            if (!hasState(set.get(), ATSPI_STATE_SHOWING) || hasState(set.get(), ATSPI_STATE_ICONIFIED)) {
                continue;
            }
            // Nothing when the window did not say; "no" is an answer, however slow.
            auto holdsPoint = guarded(window.get(), [&]() -> std::optional<bool> {
                Owned<AtspiComponent> component(atspi_accessible_get_component_iface(window.get()));
                if (component == nullptr) {
                    return false;
                }
                GError* error = nullptr;
                bool contains = atspi_component_contains(component.get(), x, y, ATSPI_COORD_TYPE_SCREEN, &error);
                if (error != nullptr) {
                    g_error_free(error);
                    return std::nullopt;
                }
                return contains;
            });
            if (holdsPoint && holdsPoint->value_or(false)) {
                candidates.push_back({std::move(window), application.get(), hasState(set.get(), ATSPI_STATE_ACTIVE)});
            }
        }
    }
    if (candidates.empty()) {
        return nullptr;
    }
    // Where windows overlap, those of the application whose window X shows topmost at
    // the point come first, then the active window, then the first found. Asking X
    // costs a few round trips, so only overlaps pay for it.
    std::optional<pid_t> topmostPid;
    if (candidates.size() > 1) {
        topmostPid = pointer_.topmostClientPid(x, y);
    }
    Candidate* chosen = nullptr;
    int chosenRank = -1;
    for (Candidate& candidate : candidates) {
        bool topmostApplication = topmostPid && processOf(candidate.application) == topmostPid;
        int rank = (topmostApplication ? 2 : 0) + (candidate.active ? 1 : 0);
        if (rank > chosenRank) {
            chosen = &candidate;
            chosenRank = rank;
        }
    }
    return wrap(deepestAt(chosen->window.get(), x, y));
}

AccessibleElement AtspiToolkit::focusedElement() {
    std::lock_guard guard(*lock_);
    if (!available()) {
        return nullptr;
    }
    Owned<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (desktop == nullptr) {
        return nullptr;
    }
    Owned<AtspiStateSet> focusedState(atspi_state_set_new(nullptr));
    atspi_state_set_add(focusedState.get(), ATSPI_STATE_FOCUSED);
    Owned<AtspiMatchRule> rule(atspi_match_rule_new(focusedState.get(), ATSPI_Collection_MATCH_ALL, nullptr,
                                                    ATSPI_Collection_MATCH_NONE, nullptr, ATSPI_Collection_MATCH_NONE,
                                                    nullptr, ATSPI_Collection_MATCH_NONE, FALSE));
    auto applications = guarded(desktop.get(), [&] { return childrenOf(desktop.get()); });
    if (!applications) {
        return nullptr;
    }
    for (Owned<AtspiAccessible>& application : *applications) {
        auto windows = guarded(application.get(), [&] { return childrenOf(application.get()); });
        if (!windows) {
            continue;
        }
        for (Owned<AtspiAccessible>& window : *windows) {
            Owned<AtspiStateSet> set(states(window.get()));
            if (!hasState(set.get(), ATSPI_STATE_ACTIVE)) {
                continue;
            }
            auto found = guarded(window.get(), [&] {
                Owned<AtspiAccessible> first;
                Owned<AtspiCollection> collection(atspi_accessible_get_collection_iface(window.get()));
                if (collection == nullptr) {
                    return first;
                }
                GError* error = nullptr;
                GArray* matches = atspi_collection_get_matches(collection.get(), rule.get(),
                                                               ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, &error);
                g_clear_error(&error);
                if (matches == nullptr) {
                    return first;
                }
                for (guint i = 0; i < matches->len; ++i) {
                    Owned<AtspiAccessible> match(g_array_index(matches, AtspiAccessible*, i));
                    if (first == nullptr) {
                        first = std::move(match);
                    }
                }
                g_array_free(matches, TRUE);
                return first;
            });
            if (found && *found != nullptr) {
                return wrap(found->release());
            }
        }
    }
    return nullptr;
}

std::optional<ScreenPoint> AtspiToolkit::pointerPosition() {
    std::lock_guard guard(*lock_);
    return pointer_.position();
}

}  // namespace kelvane::platform::atspi

namespace kelvane::platform {

std::unique_ptr<AccessibilityToolkit> makeAccessibilityToolkit() {
    return std::make_unique<atspi::AtspiToolkit>();
}

}  // namespace kelvane::platform
