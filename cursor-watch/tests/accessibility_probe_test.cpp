#include "cursor-watch/accessibility_probe.h"

#include <gtest/gtest.h>

#include "testing/fake_accessibility.h"

namespace kelvane::cursorwatch {
namespace {

using testing::FakeAccessibility;
using testing::FakeElement;

class AccessibilityProbeTest : public ::testing::Test {
protected:
    FakeAccessibility toolkit;
    AccessibilityProbe probe{toolkit};

    // window > group > ... : a plain window with a plain group inside it.
    std::shared_ptr<FakeElement> window = FakeAccessibility::element();
    std::shared_ptr<FakeElement> group = FakeAccessibility::element(window);

    AccessibilityProbeTest() {
        window->role("AXWindow").title("Settings");
        group->role("AXGroup");
    }

    std::shared_ptr<FakeElement> button(std::shared_ptr<FakeElement> parent) {
        auto made = FakeAccessibility::element(std::move(parent));
        made->role("AXButton").title("Save").action("AXPress");
        return made;
    }
};

TEST_F(AccessibilityProbeTest, AncestorChainFollowsParentsUpToTheDepth) {
    std::vector<std::shared_ptr<FakeElement>> line{FakeAccessibility::element()};
    for (int i = 0; i < 7; ++i) {
        line.push_back(FakeAccessibility::element(line.back()));
    }
    const auto& deepest = line.back();

    auto chain = probe.ancestorChain(deepest);
    ASSERT_EQ(chain.size(), 5u);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        EXPECT_EQ(chain[i], line[line.size() - 1 - i]) << "position " << i;
    }

    auto justStart = probe.ancestorChain(deepest, 0);
    ASSERT_EQ(justStart.size(), 1u);
    EXPECT_EQ(justStart[0], deepest);
    EXPECT_EQ(probe.ancestorChain(deepest, -3).size(), 1u);

    EXPECT_EQ(probe.ancestorChain(line[1], 4).size(), 2u) << "stops where the parent cannot be read";
    EXPECT_TRUE(probe.ancestorChain(nullptr).empty());
}

TEST_F(AccessibilityProbeTest, MetadataStringKeepsOrderCaseAndEmptyValues) {
    auto element = FakeAccessibility::element();
    element->title("Ünïcode TITLE")
        .set("AXHelp", std::string("Help"))
        .description("")
        .set("AXRoleDescription", std::string("Push Button"))
        .set("AXSubrole", true)  // not text: left out
        .role("AXButton");
    EXPECT_EQ(probe.metadataString(element), "axbutton push button  help ünïcode title");

    auto onlyEmpty = FakeAccessibility::element();
    onlyEmpty->description("");
    EXPECT_EQ(probe.metadataString(onlyEmpty), "");
    EXPECT_EQ(probe.metadataString(FakeAccessibility::element()), "");
}

TEST_F(AccessibilityProbeTest, TextTestSignsOfText) {
    auto editable = FakeAccessibility::element();
    editable->role("AXImage").set("AXEditable", true);
    EXPECT_TRUE(probe.elementLooksTextual(editable)) << "editable with a non-text role";

    auto notEditable = FakeAccessibility::element();
    notEditable->role("AXTextArea").set("AXEditable", false);
    EXPECT_TRUE(probe.elementLooksTextual(notEditable)) << "false editable goes on to the role";

    auto bySubrole = FakeAccessibility::element();
    bySubrole->role("AXGroup").set("AXSubrole", std::string("AXSearchField"));
    EXPECT_TRUE(probe.elementLooksTextual(bySubrole));

    auto byKeyword = FakeAccessibility::element();
    byKeyword->role("AXGroup").description("Source Editor");
    EXPECT_TRUE(probe.elementLooksTextual(byKeyword));

    auto byRange = FakeAccessibility::element();
    byRange->role("AXGroup").set("AXSelectedTextRange", FakeElement::OtherValue{});
    EXPECT_TRUE(probe.elementLooksTextual(byRange));

    auto byCount = FakeAccessibility::element();
    byCount->role("AXGroup").set("AXNumberOfCharacters", FakeElement::OtherValue{});
    EXPECT_TRUE(probe.elementLooksTextual(byCount));

    auto roleInOtherCase = FakeAccessibility::element();
    roleInOtherCase->role("axtextfield");
    EXPECT_FALSE(probe.elementLooksTextual(roleInOtherCase)) << "roles compare case-sensitively";

    EXPECT_FALSE(probe.elementLooksTextual(group));
    EXPECT_FALSE(probe.elementLooksTextual(FakeAccessibility::element()));
}

TEST_F(AccessibilityProbeTest, PressableIsTextualOnlyWithTextInItsMetadata) {
    auto pressableText = FakeAccessibility::element();
    pressableText->role("AXGroup").title("Add TEXT").action("AXShowMenu").action("AXPress");
    EXPECT_TRUE(probe.elementLooksTextual(pressableText));

    auto pressablePlain = FakeAccessibility::element();
    pressablePlain->role("AXGroup").title("Add image").action("AXPress");
    EXPECT_FALSE(probe.elementLooksTextual(pressablePlain));

    auto textWithoutPress = FakeAccessibility::element();
    textWithoutPress->role("AXGroup").title("Add text").action("AXShowMenu");
    EXPECT_FALSE(probe.elementLooksTextual(textWithoutPress));
}

TEST_F(AccessibilityProbeTest, FocusedTextFieldWinsOverButtonUnderPointer) {
    toolkit.underPointer = button(group);
    auto field = FakeAccessibility::element(group);
    field->role("AXTextField");
    toolkit.focused = field;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "text");

    toolkit.underPointer = nullptr;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "text") << "a focused field answers without an element under the pointer";

    toolkit.focused = nullptr;
    EXPECT_EQ(probe.accessibilityCursorMatch(), std::nullopt);
}

TEST_F(AccessibilityProbeTest, TextAncestorOfPointerGivesText) {
    auto field = FakeAccessibility::element(group);
    field->role("AXTextArea");
    auto inner = FakeAccessibility::element(field);
    inner->role("AXGroup").description("crop");
    toolkit.underPointer = inner;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "text") << "text is decided before precision keywords";
}

TEST_F(AccessibilityProbeTest, PrecisionKeywordAnywhereInPointerChain) {
    auto canvas = FakeAccessibility::element(group);
    canvas->role("AXGroup").description("Image CROP area");
    auto a = FakeAccessibility::element(canvas);
    auto b = FakeAccessibility::element(a);
    auto c = FakeAccessibility::element(b);
    auto handle = FakeAccessibility::element(c);
    handle->role("AXSplitter");
    toolkit.underPointer = handle;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "crosshair") << "fourth ancestor, ahead of the splitter rule";

    auto d = FakeAccessibility::element(handle);
    d->role("AXGroup");
    toolkit.underPointer = d;
    EXPECT_EQ(probe.accessibilityCursorMatch(), std::nullopt) << "fifth ancestor is out of reach";

    auto precise = FakeAccessibility::element(group);
    precise->role("AXSlider").set("AXHelp", std::string("Cross hair placement"));
    toolkit.underPointer = precise;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "crosshair");
}

TEST_F(AccessibilityProbeTest, SplitterGivesResizeEw) {
    auto splitter = FakeAccessibility::element(group);
    splitter->role("AXSplitter").set("AXOrientation", std::string("AXHorizontalOrientation"));
    toolkit.underPointer = splitter;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "resize-ew");

    auto child = FakeAccessibility::element(splitter);
    child->role("AXGroup");
    toolkit.underPointer = child;
    EXPECT_EQ(probe.accessibilityCursorMatch(), std::nullopt) << "only the element under the pointer counts";
}

TEST_F(AccessibilityProbeTest, ClickableAndPressableFollowEnabledState) {
    auto target = button(group);
    toolkit.underPointer = target;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "pointer") << "without AXEnabled";

    target->enabled(true);
    EXPECT_EQ(probe.accessibilityCursorMatch(), "pointer");

    target->enabled(false);
    EXPECT_EQ(probe.accessibilityCursorMatch(), "not-allowed");

    auto link = FakeAccessibility::element(group);
    link->role(std::string(axLinkRole)).enabled(false);
    toolkit.underPointer = link;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "not-allowed") << "clickable role without AXPress";

    auto pressable = FakeAccessibility::element(group);
    pressable->role("AXImage").action("AXPress").enabled(false);
    toolkit.underPointer = pressable;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "not-allowed") << "pressable outside the clickable roles";

    pressable->enabled(true);
    EXPECT_EQ(probe.accessibilityCursorMatch(), "pointer");
}

TEST_F(AccessibilityProbeTest, NothingRecognisableGivesNoResult) {
    auto image = FakeAccessibility::element(button(group));
    image->role("AXImage").enabled(false).action("AXShowMenu");
    toolkit.underPointer = image;
    EXPECT_EQ(probe.accessibilityCursorMatch(), std::nullopt) << "a clickable ancestor does not count";

    auto roleless = FakeAccessibility::element();
    roleless->action("AXPress").enabled(true);
    toolkit.underPointer = roleless;
    EXPECT_EQ(probe.accessibilityCursorMatch(), "pointer");
}

TEST_F(AccessibilityProbeTest, HitTestUsesThePointerPositionUnchanged) {
    toolkit.pointer = platform::ScreenPoint{123.5, 45};
    toolkit.underPointer = button(group);
    EXPECT_EQ(probe.accessibilityCursorMatch(), "pointer");
    ASSERT_TRUE(toolkit.lastHitTest.has_value());
    EXPECT_EQ(toolkit.lastHitTest->x, 123.5);
    EXPECT_EQ(toolkit.lastHitTest->y, 45);

    toolkit.pointer = std::nullopt;
    toolkit.lastHitTest.reset();
    EXPECT_EQ(probe.currentElement(), nullptr);
    EXPECT_FALSE(toolkit.lastHitTest.has_value());
    EXPECT_EQ(probe.accessibilityCursorMatch(), std::nullopt);
}

}  // namespace
}  // namespace kelvane::cursorwatch
