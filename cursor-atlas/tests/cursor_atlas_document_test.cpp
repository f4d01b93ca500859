// The atlas over a fake set of standard cursors, and the document it prints.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/json_writer.h"
#include "cursor-atlas/cursor_atlas.h"
#include "cursor-atlas/tests/decoded_png.h"
#include "testing/fake_standard_cursors.h"

namespace kelvane::cursoratlas {
namespace {

using platform::StandardCursor;
using testing::block;
using testing::cursorImage;
using testing::drawBitmap;

platform::CursorImage blockCursor(int size) {
    return cursorImage(size, size, 1, 1, {drawBitmap(size, size, block(1, 1, size - 2, size - 2, 0xff000000u))});
}

TEST(CursorAtlas, ExportsTheNineNamedCursorsUnderTheirNames) {
    kelvane::testing::FakeStandardCursors cursors;
    // Set in reverse order of the names, with the cursors that are only matched, never
    // exported, given too.
    const StandardCursor all[] = {StandardCursor::operationNotAllowed, StandardCursor::resizeUpDown,
                                  StandardCursor::resizeLeftRight, StandardCursor::closedHand,
                                  StandardCursor::openHand, StandardCursor::crosshair,
                                  StandardCursor::pointingHand, StandardCursor::iBeam,
                                  StandardCursor::arrow, StandardCursor::resizeLeft,
                                  StandardCursor::iBeamForVerticalLayout, StandardCursor::dragCopy};
    int size = 8;
    for (StandardCursor cursor : all) cursors.set(cursor, blockCursor(size++));

    const CursorAssets assets = makeAssets(cursors, CursorAssetSettings{});
    std::vector<std::string> names;
    for (const auto& [name, asset] : assets) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"arrow", "closed-hand", "crosshair", "not-allowed", "open-hand", "pointer",
                                               "resize-ew", "resize-ns", "text"}));
    EXPECT_EQ(cursors.reads(StandardCursor::resizeLeft), 0);
    EXPECT_EQ(cursors.reads(StandardCursor::iBeamForVerticalLayout), 0);
    EXPECT_EQ(cursors.reads(StandardCursor::dragCopy), 0);
    // Each name got its own cursor: the arrow was the 16-pixel one, the I-beam the 15.
    EXPECT_NEAR(assets.at("arrow").hotspotX, 0, 1e-9);
    EXPECT_EQ(testing::decodeDataUrl(assets.at("arrow").dataUrl)->height, 1024);
}

TEST(CursorAtlas, MissingAndBrokenCursorsAreLeftOutAndTheRestKept) {
    kelvane::testing::FakeStandardCursors cursors;
    cursors.set(StandardCursor::iBeam, blockCursor(10));
    cursors.set(StandardCursor::arrow, cursorImage(10, 10, 0, 0, {drawBitmap(10, 10, [](int, int) { return 0u; })}));
    cursors.set(StandardCursor::crosshair, cursorImage(10, 10, 0, 0, {platform::CursorBitmap{10, 10, {1, 2, 3}}}));
    const CursorAssets assets = makeAssets(cursors, CursorAssetSettings{});
    ASSERT_EQ(assets.size(), 1u);
    EXPECT_TRUE(assets.contains("text"));

    kelvane::testing::FakeStandardCursors nothing;
    EXPECT_EQ(atlasDocument(makeAssets(nothing, CursorAssetSettings{})), "{}");
}

TEST(CursorAtlasDocument, SortedCompactEscapedAndWithoutLineFeed) {
    CursorAssets assets;
    // Inserted out of order; the document orders them.
    assets["text"] = {"data:image/png;base64,AB/C+D==", -2.5, 0.1, 410, 1024};
    assets["arrow"] = {"data:image/png;base64,QQ==", 146.28571428571428, 219.42857142857142, 732, 1024};
    assets["closed-hand"] = {"data:image/png;base64,Qg==", 0, 1e-05, 1229, 1024};
    const std::string document = atlasDocument(assets);
    EXPECT_EQ(document,
              R"({"arrow":{"dataUrl":"data:image\/png;base64,QQ==","height":1024,"hotspotX":146.28571428571428,)"
              R"("hotspotY":219.42857142857142,"width":732},)"
              R"("closed-hand":{"dataUrl":"data:image\/png;base64,Qg==","height":1024,"hotspotX":0,"hotspotY":1e-05,"width":1229},)"
              R"("text":{"dataUrl":"data:image\/png;base64,AB\/C+D==","height":1024,"hotspotX":-2.5,"hotspotY":0.1,"width":410}})");

    // Every number reads back as the same double.
    const nlohmann::json parsed = nlohmann::json::parse(document);
    EXPECT_EQ(parsed["arrow"]["hotspotX"].get<double>(), 146.28571428571428);
    EXPECT_EQ(parsed["closed-hand"]["hotspotY"].get<double>(), 1e-05);
    EXPECT_EQ(parsed["text"]["dataUrl"], "data:image/png;base64,AB/C+D==");
}

TEST(CursorAtlasDocument, NumbersJsonCannotHoldAreRefused) {
    CursorAssets assets;
    assets["arrow"] = {"data:image/png;base64,QQ==", INFINITY, 0, 1, 1024};
    EXPECT_THROW(atlasDocument(assets), common::JsonEncodeError);
}

}  // namespace
}  // namespace kelvane::cursoratlas
