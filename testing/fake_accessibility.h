#pragma once
// An in-memory accessibility tree for tests of code written against
// platform::AccessibilityToolkit. Build elements, wire parents, say which element is
// under the pointer and which has focus.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/accessibility.h"

namespace kelvane::testing {

class FakeElement : public platform::AccessibleElementHandle {
public:
    // A readable attribute with text, a boolean, or a value of another kind (such as a
    // text range) that reads successfully but is neither.
    struct OtherValue {};
    using Value = std::variant<std::string, bool, OtherValue>;

    std::map<std::string, Value, std::less<>> attributes;
    std::vector<std::string> actions;
    std::shared_ptr<FakeElement> parent;

    FakeElement& set(std::string name, Value value) {
        attributes[std::move(name)] = std::move(value);
        return *this;
    }
    FakeElement& role(std::string value) { return set("AXRole", std::move(value)); }
    FakeElement& title(std::string value) { return set("AXTitle", std::move(value)); }
    FakeElement& description(std::string value) { return set("AXDescription", std::move(value)); }
    FakeElement& enabled(bool value) { return set("AXEnabled", value); }
    FakeElement& action(std::string name) {
        actions.push_back(std::move(name));
        return *this;
    }
};

class FakeAccessibility : public platform::AccessibilityToolkit {
public:
    std::optional<platform::ScreenPoint> pointer = platform::ScreenPoint{10, 20};
    std::shared_ptr<FakeElement> underPointer;
    std::shared_ptr<FakeElement> focused;
    std::optional<platform::ScreenPoint> lastHitTest;

    // A new element whose parent is `parent` (may be null).
    static std::shared_ptr<FakeElement> element(std::shared_ptr<FakeElement> parent = nullptr) {
        auto made = std::make_shared<FakeElement>();
        made->parent = std::move(parent);
        return made;
    }

    std::optional<std::string> attributeString(const platform::AccessibleElement& element,
                                               std::string_view name) override {
        const FakeElement::Value* value = find(element, name);
        if (value == nullptr || !std::holds_alternative<std::string>(*value)) {
            return std::nullopt;
        }
        return std::get<std::string>(*value);
    }

    std::optional<bool> attributeBool(const platform::AccessibleElement& element, std::string_view name) override {
        const FakeElement::Value* value = find(element, name);
        if (value == nullptr || !std::holds_alternative<bool>(*value)) {
            return std::nullopt;
        }
        return std::get<bool>(*value);
    }

    std::vector<std::string> actionNames(const platform::AccessibleElement& element) override {
        const FakeElement* fake = as(element);
        return fake != nullptr ? fake->actions : std::vector<std::string>{};
    }

    bool hasAttribute(const platform::AccessibleElement& element, std::string_view name) override {
        if (name == "AXParent") {
            const FakeElement* fake = as(element);
            return fake != nullptr && fake->parent != nullptr;
        }
        return find(element, name) != nullptr;
    }

    platform::AccessibleElement parentElement(const platform::AccessibleElement& element) override {
        const FakeElement* fake = as(element);
        return fake != nullptr ? fake->parent : nullptr;
    }

    platform::AccessibleElement elementAtPosition(platform::ScreenPoint point) override {
        lastHitTest = point;
        return underPointer;
    }

    platform::AccessibleElement focusedElement() override { return focused; }

    std::optional<platform::ScreenPoint> pointerPosition() override { return pointer; }

private:
    static const FakeElement* as(const platform::AccessibleElement& element) {
        return dynamic_cast<const FakeElement*>(element.get());
    }

    static const FakeElement::Value* find(const platform::AccessibleElement& element, std::string_view name) {
        const FakeElement* fake = as(element);
        if (fake == nullptr) {
            return nullptr;
        }
        auto found = fake->attributes.find(name);
        return found != fake->attributes.end() ? &found->second : nullptr;
    }
};

}  // namespace kelvane::testing
