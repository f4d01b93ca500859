#pragma once
// The accessibility toolkit: reads what the desktop's accessibility layer says about the
// element under the pointer and the element with keyboard focus. Attribute and action
// names are the portable "AX..." vocabulary (AXRole, AXTitle, AXEnabled, AXPress, ...);
// the backend maps its own roles, states and actions onto it.
//
// No call reports an error: whatever cannot be read (no accessibility service, an
// application that does not answer in time, an element that went away) is absent.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::platform {

// An opaque element of some application's accessibility tree. Only the toolkit that
// handed it out knows what is inside; callers just pass it back.
class AccessibleElementHandle {
public:
    virtual ~AccessibleElementHandle() = default;
};

// A shared element handle; a null pointer means "no element".
using AccessibleElement = std::shared_ptr<const AccessibleElementHandle>;

// A point in the global screen space, top-left origin, in points.
struct ScreenPoint {
    double x = 0;
    double y = 0;
};

class AccessibilityToolkit {
public:
    virtual ~AccessibilityToolkit() = default;

    // The attribute's value when it can be read and is text.
    virtual std::optional<std::string> attributeString(const AccessibleElement& element, std::string_view name) = 0;
    // The attribute's value when it can be read and is a boolean.
    virtual std::optional<bool> attributeBool(const AccessibleElement& element, std::string_view name) = 0;
    // The element's action names; empty when they cannot be read.
    virtual std::vector<std::string> actionNames(const AccessibleElement& element) = 0;
    // True exactly when reading the attribute succeeds, whatever its value.
    virtual bool hasAttribute(const AccessibleElement& element, std::string_view name) = 0;
    // The element's parent ("AXParent"), or null.
    virtual AccessibleElement parentElement(const AccessibleElement& element) = 0;
    // The deepest element at that screen position, or null.
    virtual AccessibleElement elementAtPosition(ScreenPoint point) = 0;
    // The element that has keyboard focus now, or null. Looked up afresh on every call.
    virtual AccessibleElement focusedElement() = 0;
    // Where the system pointer is now, in the same space elementAtPosition takes.
    virtual std::optional<ScreenPoint> pointerPosition() = 0;
};

// The backend for this platform. Never fails: without an accessibility service every
// answer is absent.
std::unique_ptr<AccessibilityToolkit> makeAccessibilityToolkit();

}  // namespace kelvane::platform
