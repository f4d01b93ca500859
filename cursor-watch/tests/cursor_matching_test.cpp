#include "cursor-watch/cursor_matching.h"

#include <cmath>

#include <gtest/gtest.h>

#include "cursor-watch/cursor_names.h"
#include "cursor-watch/tests/synthetic_cursors.h"
#include "testing/fake_system_cursor.h"

namespace kelvane::cursorwatch {
namespace {

using platform::StandardCursor;
using testing::solidCursor;
using testing::syntheticCursor;

// The cursor the fake system shows in the classifier tests: a diagonal wedge.
platform::CursorImage shownCursor() {
    return syntheticCursor(24, 24, 3, 2, [](int x, int y) { return static_cast<std::uint8_t>(x <= y ? 255 : 0); });
}

CursorSignature shownSignature() { return signature(shownCursor()).value(); }

// A signature whose score against the shown cursor is exactly `score`: whole samples
// flipped for the multiples of 255 and an aspect change for the rest. The aspect step
// 1/65536 is exact in binary and costs 1800/65536 = 0.027 per step.
CursorSignature signatureAtDistance(std::int64_t score) {
    CursorSignature made = shownSignature();
    const std::int64_t flips = score / 255;
    const std::int64_t rest = score % 255;
    for (std::int64_t i = 0; i < flips; ++i) {
        auto& sample = made.shapeSamples.at(static_cast<std::size_t>(i));
        sample = static_cast<std::uint8_t>(255 - sample);
    }
    const double steps = std::ceil(static_cast<double>(rest) * 65536.0 / 1800.0);
    made.aspectRatio += steps / 65536.0;
    return made;
}

struct ClassifierRun {
    std::string result;
    int probes = 0;
};

ClassifierRun classify(std::vector<KnownCursorSignature> known, std::optional<platform::CursorImage> shown,
                       std::optional<std::string> probeAnswer) {
    ClassifierRun run;
    kelvane::testing::FakeSystemCursor system;
    system.show(std::move(shown));
    CursorTypeClassifier classifier(
        std::move(known), [&] { return system.current(); },
        [&] {
            ++run.probes;
            return probeAnswer;
        });
    run.result = classifier.currentSystemCursorType();
    EXPECT_EQ(system.reads(), 1) << "the current cursor is read once per poll";
    return run;
}

ClassifierRun classifyAtDistance(const std::string& name, std::int64_t score) {
    const CursorSignature known = signatureAtDistance(score);
    EXPECT_EQ(signatureScore(shownSignature(), known), score) << "test signature built at the wrong distance";
    return classify({{name, known}}, shownCursor(), "text");
}

TEST(CursorTypeClassifier, AcceptsEachNameUpToItsLimitAndNoFurther) {
    struct Limit {
        std::string name;
        std::int64_t limit;
    };
    const Limit limits[] = {
        {"open-hand", 3200},  {"closed-hand", 3200}, {"arrow", 12000},       {"pointer", 12000},
        {"resize-ew", 12000}, {"resize-ns", 12000},  {"not-allowed", 12000}, {"text", 28000},
        {"crosshair", 32000},
    };
    for (const Limit& entry : limits) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(classifyAtDistance(entry.name, entry.limit).result, entry.name);
        const ClassifierRun beyond = classifyAtDistance(entry.name, entry.limit + 1);
        EXPECT_EQ(beyond.result, "arrow");
        // A drawn cursor that matches nothing is the arrow without asking accessibility.
        EXPECT_EQ(beyond.probes, 0);
    }
    // Between the default and the relaxed limit the looser test still accepts.
    EXPECT_EQ(classifyAtDistance("text", 20000).result, "text");
    EXPECT_EQ(classifyAtDistance("crosshair", 28001).result, "crosshair");
    EXPECT_EQ(classifyAtDistance("pointer", 0).result, "pointer");
}

TEST(CursorTypeClassifier, EqualScoresGoToTheEarlierCandidate) {
    const CursorSignature tied = signatureAtDistance(2000);
    EXPECT_EQ(classify({{"resize-ew", tied}, {"pointer", tied}}, shownCursor(), std::nullopt).result, "resize-ew");
    EXPECT_EQ(classify({{"pointer", tied}, {"resize-ew", tied}}, shownCursor(), std::nullopt).result, "pointer");
    // A strictly closer later candidate still wins.
    EXPECT_EQ(classify({{"pointer", tied}, {"resize-ew", signatureAtDistance(1999)}}, shownCursor(), std::nullopt)
                  .result,
              "resize-ew");
}

TEST(CursorTypeClassifier, BestMatchIsJudgedByItsOwnNamesLimit) {
    // The nearest is an open hand just past its strict limit; a farther pointer within
    // 12000 does not step in.
    const auto run = classify({{"pointer", signatureAtDistance(5000)}, {"open-hand", signatureAtDistance(3300)}},
                              shownCursor(), std::nullopt);
    EXPECT_EQ(run.result, "arrow");
}

TEST(CursorTypeClassifier, UnreadableCursorAsksAccessibilityThenFallsBackToArrow) {
    const std::vector<KnownCursorSignature> known = {{"pointer", shownSignature()}};
    const auto hidden = classify(known, std::nullopt, "crosshair");
    EXPECT_EQ(hidden.result, "crosshair");
    EXPECT_EQ(hidden.probes, 1);
    EXPECT_EQ(classify(known, std::nullopt, std::nullopt).result, "arrow");

    // A cursor without a drawable image is treated like no cursor.
    const auto empty = classify(known, solidCursor(0, 0), "not-allowed");
    EXPECT_EQ(empty.result, "not-allowed");
    EXPECT_EQ(empty.probes, 1);
}

TEST(CursorTypeClassifier, NoKnownSignaturesLeavesEveryAnswerToAccessibility) {
    EXPECT_EQ(classify({}, shownCursor(), "resize-ew").result, "resize-ew");
    EXPECT_EQ(classify({}, shownCursor(), std::nullopt).result, "arrow");
    EXPECT_EQ(classify({}, shownCursor(), std::string()).result, "arrow");
}

TEST(CursorTypeClassifier, RepeatedPollsFollowEveryChangeOfTheImage) {
    // Two images alike in size and hotspot, different in one pixel only, then the first
    // again with its hotspot moved: each poll must judge the image it was given.
    const auto pixelAt = [](bool extra) {
        return [extra](int x, int y) { return static_cast<std::uint8_t>(x < 12 || (extra && x == 20 && y == 20) ? 255 : 0); };
    };
    const auto plain = syntheticCursor(24, 24, 0, 0, pixelAt(false));
    const auto dotted = syntheticCursor(24, 24, 0, 0, pixelAt(true));
    auto moved = plain;
    moved.hotspotX = 12;
    const std::vector<KnownCursorSignature> known = {{"text", signature(plain).value()},
                                                     {"pointer", signature(dotted).value()},
                                                     {"crosshair", signature(moved).value()}};
    std::vector<platform::CursorImage> shown = {plain, plain, dotted, dotted, plain, moved, plain};
    std::size_t next = 0;
    CursorTypeClassifier classifier(known, [&] { return shown.at(next++); }, [] { return std::nullopt; });
    std::vector<std::string> results;
    for (std::size_t i = 0; i < shown.size(); ++i) results.push_back(classifier.currentSystemCursorType());
    EXPECT_EQ(results,
              (std::vector<std::string>{"text", "text", "pointer", "pointer", "text", "crosshair", "text"}));
}

// A theme draws each size on its own: its arrow at 32 pixels is a bar, unlike its
// 24-pixel wedge and like its 24-pixel pointing hand. Shown at 32 pixels, it is the arrow.
TEST(KnownCursorSignatures, ACursorShownAtAnotherSizeIsHeldAgainstTheThemesDrawingOfThatSize) {
    const auto bar = [](int width) {
        return [width](int x, int) { return static_cast<std::uint8_t>(x < width ? 255 : 0); };
    };
    platform::CursorImage arrow = shownCursor();
    arrow.representations.push_back(syntheticCursor(32, 32, 0, 0, bar(16)).representations.front());
    testing::TableStandardCursors theme;
    theme.images[StandardCursor::arrow] = arrow;
    theme.images[StandardCursor::pointingHand] = syntheticCursor(24, 24, 3, 2, bar(12));

    EXPECT_EQ(classify(knownCursorSignatures(theme), syntheticCursor(32, 32, 4, 8.0 / 3, bar(16)), std::nullopt).result,
              "arrow");
    EXPECT_EQ(classify(knownCursorSignatures(theme), shownCursor(), std::nullopt).result, "arrow");
    EXPECT_EQ(classify(knownCursorSignatures(theme), syntheticCursor(24, 24, 3, 2, bar(12)), std::nullopt).result,
              "pointer");
}

TEST(KnownCursorSignatures, FollowsCandidateOrderAndLeavesOutWhatCannotBeDrawn) {
    testing::TableStandardCursors theme;
    theme.images[StandardCursor::iBeamForVerticalLayout] = solidCursor(24, 10);
    theme.images[StandardCursor::arrow] = shownCursor();
    theme.images[StandardCursor::openHand] = solidCursor(0, 24);  // empty image
    theme.images[StandardCursor::resizeUp] = solidCursor(10, 24);

    const std::vector<KnownCursorSignature> known = knownCursorSignatures(theme);
    ASSERT_EQ(known.size(), 3u);
    EXPECT_EQ(known[0].name, "arrow");
    EXPECT_EQ(signatureScore(known[0].signature, shownSignature()), 0);
    EXPECT_EQ(known[1].name, "resize-ns");
    EXPECT_EQ(known[2].name, "text");
    EXPECT_DOUBLE_EQ(known[2].signature.aspectRatio, 2.4);
    // Every candidate was asked for, once, in candidate order.
    ASSERT_EQ(theme.requested.size(), knownCursorCandidateTable.size());
    for (std::size_t i = 0; i < theme.requested.size(); ++i) {
        EXPECT_EQ(theme.requested[i], knownCursorCandidateTable[i].cursor);
    }
}

}  // namespace
}  // namespace kelvane::cursorwatch
