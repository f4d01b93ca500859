#include "cursor-watch/accessibility_probe.h"

#include <algorithm>
#include <array>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "common/unicode_text.h"

namespace kelvane::cursorwatch {
namespace {

using platform::AccessibleElement;

constexpr std::array<std::string_view, 4> textRoles = {"AXTextField", "AXTextArea", "AXComboBox", "AXSearchField"};
constexpr std::array<std::string_view, 6> textKeywords = {
    "text field", "search field", "editor", "insertion point", "caret", "source editor",
};
constexpr std::array<std::string_view, 4> precisionKeywords = {"crosshair", "cross hair", "precision", "crop"};
constexpr std::array<std::string_view, 7> clickableRoles = {
    "AXButton", axLinkRole, "AXMenuItem", "AXPopUpButton", "AXRadioButton", "AXCheckBox", "AXTabGroup",
};
constexpr std::array<std::string_view, 6> metadataAttributes = {
    "AXRole", "AXSubrole", "AXRoleDescription", "AXDescription", "AXHelp", "AXTitle",
};
constexpr std::string_view pressAction = "AXPress";

template <std::size_t N>
bool isOneOf(std::string_view value, const std::array<std::string_view, N>& set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

template <std::size_t N>
bool containsAnyOf(std::string_view text, const std::array<std::string_view, N>& keywords) {
    return std::any_of(keywords.begin(), keywords.end(),
                       [&](std::string_view keyword) { return text.find(keyword) != std::string_view::npos; });
}

// Full Unicode lowercasing, independent of the user's locale; names from other
// programs are often not ASCII.
std::string lowercased(std::string_view text) {
    std::string repaired = common::repairUtf8(text);
    std::string result;
    icu::UnicodeString::fromUTF8(repaired).toLower(icu::Locale::getRoot()).toUTF8String(result);
    return result;
}

bool hasPressAction(const std::vector<std::string>& actions) {
    return std::find(actions.begin(), actions.end(), pressAction) != actions.end();
}

}  // namespace

AccessibilityProbe::AccessibilityProbe(platform::AccessibilityToolkit& toolkit) : toolkit_(toolkit) {}

AccessibleElement AccessibilityProbe::currentElement() {
    // The pointer and the hit test share one top-left-origin space, so the position
    // goes through unchanged.
    std::optional<platform::ScreenPoint> pointer = toolkit_.pointerPosition();
    if (!pointer) {
        return nullptr;
    }
    return toolkit_.elementAtPosition(*pointer);
}

AccessibleElement AccessibilityProbe::focusedElement() {
    return toolkit_.focusedElement();
}

std::vector<AccessibleElement> AccessibilityProbe::ancestorChain(const AccessibleElement& start, int maxDepth) {
    std::vector<AccessibleElement> chain;
    if (!start) {
        return chain;
    }
    chain.push_back(start);
    for (int depth = 0; depth < maxDepth; ++depth) {
        AccessibleElement parent = toolkit_.parentElement(chain.back());
        if (!parent) {
            break;
        }
        chain.push_back(std::move(parent));
    }
    return chain;
}

std::string AccessibilityProbe::metadataString(const AccessibleElement& element) {
    std::string metadata;
    bool first = true;
    for (std::string_view attribute : metadataAttributes) {
        std::optional<std::string> value = toolkit_.attributeString(element, attribute);
        if (!value) {
            continue;
        }
        if (!first) {
            metadata += ' ';
        }
        metadata += lowercased(*value);
        first = false;
    }
    return metadata;
}

bool AccessibilityProbe::elementLooksTextual(const AccessibleElement& element) {
    if (toolkit_.attributeBool(element, axEditableAttribute) == true) {
        return true;
    }
    if (isOneOf(toolkit_.attributeString(element, "AXRole").value_or(""), textRoles)) {
        return true;
    }
    if (isOneOf(toolkit_.attributeString(element, "AXSubrole").value_or(""), textRoles)) {
        return true;
    }
    if (containsAnyOf(metadataString(element), textKeywords)) {
        return true;
    }
    if (toolkit_.hasAttribute(element, "AXSelectedTextRange")) {
        return true;
    }
    if (toolkit_.hasAttribute(element, "AXNumberOfCharacters")) {
        return true;
    }
    if (hasPressAction(toolkit_.actionNames(element))) {
        return metadataString(element).find("text") != std::string::npos;
    }
    return false;
}

std::optional<std::string> AccessibilityProbe::accessibilityCursorMatch() {
    std::vector<AccessibleElement> pointerChain = ancestorChain(currentElement());
    std::vector<AccessibleElement> focusChain = ancestorChain(focusedElement());

    for (const auto* chain : {&pointerChain, &focusChain}) {
        for (const AccessibleElement& element : *chain) {
            if (elementLooksTextual(element)) {
                return "text";
            }
        }
    }
    if (pointerChain.empty()) {
        return std::nullopt;
    }

    const AccessibleElement& target = pointerChain.front();
    std::string role = toolkit_.attributeString(target, "AXRole").value_or("");
    std::optional<bool> enabled = toolkit_.attributeBool(target, "AXEnabled");
    std::vector<std::string> actions = toolkit_.actionNames(target);

    std::string summary;
    for (const AccessibleElement& element : pointerChain) {
        std::string metadata = metadataString(element);
        if (metadata.empty()) {
            continue;
        }
        if (!summary.empty()) {
            summary += ' ';
        }
        summary += metadata;
    }
    if (containsAnyOf(summary, precisionKeywords)) {
        return "crosshair";
    }

    if (role == "AXSplitter") {
        return "resize-ew";
    }

    bool pressable = hasPressAction(actions);
    bool clickable = isOneOf(role, clickableRoles);
    if (!pressable && !clickable) {
        return std::nullopt;
    }
    return enabled == false ? "not-allowed" : "pointer";
}

}  // namespace kelvane::cursorwatch
