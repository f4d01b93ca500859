#pragma once
// Guesses the pointer's kind from the element under the pointer and the element with
// keyboard focus, for when the cursor image itself cannot be classified. Every call
// hit-tests and reads afresh; nothing is remembered between calls.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"

namespace kelvane::cursorwatch {

inline constexpr std::string_view axEditableAttribute = "AXEditable";
inline constexpr std::string_view axLinkRole = "AXLink";

class AccessibilityProbe {
public:
    // The toolkit must outlive the probe.
    explicit AccessibilityProbe(platform::AccessibilityToolkit& toolkit);

    // The element under the pointer, or null.
    platform::AccessibleElement currentElement();
    // The element with keyboard focus, or null.
    platform::AccessibleElement focusedElement();

    // The start element followed by up to maxDepth of its ancestors, nearest first.
    // Empty without a start element.
    std::vector<platform::AccessibleElement> ancestorChain(const platform::AccessibleElement& start, int maxDepth = 4);

    // Role, subrole, role description, description, help and title, each one that can
    // be read lowercased, joined with single spaces (empty values keep their place).
    std::string metadataString(const platform::AccessibleElement& element);

    // Whether the element looks like something that takes text.
    bool elementLooksTextual(const platform::AccessibleElement& element);

    // "text", "crosshair", "resize-ew", "pointer", "not-allowed", or nothing.
    std::optional<std::string> accessibilityCursorMatch();

private:
    platform::AccessibilityToolkit& toolkit_;
};

}  // namespace kelvane::cursorwatch
