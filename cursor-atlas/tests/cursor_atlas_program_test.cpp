// The built program run as the host runs it, against the cursor themes installed on the
// machine, with no display.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cursor-atlas/tests/decoded_png.h"
#include "testing/child_process.h"
#include "testing/stuck_x_server.h"

namespace {

using kelvane::testing::ExitStatus;
using kelvane::testing::ProgramRun;

// Runs the atlas without any display or cursor settings of this test's environment,
// with `settings` instead.
ProgramRun runAtlas(const std::map<std::string, std::string>& settings) {
    kelvane::testing::SpawnOptions options;
    options.unsetEnvironment = {"DISPLAY", "XCURSOR_THEME", "XCURSOR_SIZE", "XCURSOR_PATH"};
    options.setEnvironment = settings;
    return kelvane::testing::runProgram({KELVANE_BINARY_DIR "/cursor-atlas/kelvane-cursor-atlas"}, options);
}

class InstalledTheme : public ::testing::TestWithParam<const char*> {};

TEST_P(InstalledTheme, EveryNameHasATallPngWithAPlausibleHotspot) {
    const ProgramRun run =
        runAtlas({{"XCURSOR_THEME", GetParam()}, {"XCURSOR_SIZE", "24"}, {"XCURSOR_PATH", "/usr/share/icons"}});
    EXPECT_EQ(run.status, ExitStatus::exitCode(0));
    EXPECT_EQ(run.err, "");
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '}');
    EXPECT_EQ(run.out.find('\n'), std::string::npos);
    EXPECT_NE(run.out.find(R"("dataUrl":"data:image\/png;base64,)"), std::string::npos);

    const nlohmann::json atlas = nlohmann::json::parse(run.out);
    std::vector<std::string> names;
    for (const auto& [name, asset] : atlas.items()) names.push_back(name);
    ASSERT_EQ(names, (std::vector<std::string>{"arrow", "closed-hand", "crosshair", "not-allowed", "open-hand",
                                               "pointer", "resize-ew", "resize-ns", "text"}));

    for (const auto& [name, asset] : atlas.items()) {
        SCOPED_TRACE(name);
        const double width = asset.at("width");
        const double height = asset.at("height");
        const double hotspotX = asset.at("hotspotX");
        const double hotspotY = asset.at("hotspotY");
        EXPECT_EQ(height, 1024);
        std::optional<kelvane::cursoratlas::testing::DecodedPng> png =
            kelvane::cursoratlas::testing::decodeDataUrl(asset.at("dataUrl").get<std::string>());
        ASSERT_TRUE(png);
        EXPECT_EQ(png->height, 1024);
        EXPECT_EQ(png->width, width);
        // Cropped tight: the first and last rows and columns each hold an opaque pixel.
        auto opaque = [&](int x, int y) { return (png->at(x, y) >> 24) >= 3; };
        bool top = false, bottom = false, left = false, right = false;
        for (int x = 0; x < png->width; ++x) top |= opaque(x, 0), bottom |= opaque(x, png->height - 1);
        for (int y = 0; y < png->height; ++y) left |= opaque(0, y), right |= opaque(png->width - 1, y);
        EXPECT_TRUE(top && bottom && left && right);

        // Theme hotspots lie on or next to the drawn shape.
        EXPECT_GT(hotspotX, -0.1 * width);
        EXPECT_LT(hotspotX, 1.1 * width);
        EXPECT_GT(hotspotY, -0.1 * height);
        EXPECT_LT(hotspotY, 1.1 * height);
        if (name == "arrow") {
            EXPECT_LT(hotspotX, 0.25 * width);
            EXPECT_LT(hotspotY, 0.25 * height);
        }
        if (name == "crosshair" || name == "not-allowed" || name == "resize-ew" || name == "resize-ns") {
            EXPECT_GT(hotspotX, 0.3 * width);
            EXPECT_LT(hotspotX, 0.7 * width);
            EXPECT_GT(hotspotY, 0.3 * height);
            EXPECT_LT(hotspotY, 0.7 * height);
        }
    }
    // The two resize cursors lie across each other.
    EXPECT_GT(atlas["resize-ew"]["width"].get<double>(), 1024);
    EXPECT_LT(atlas["resize-ns"]["width"].get<double>(), 1024);
}

INSTANTIATE_TEST_SUITE_P(Themes, InstalledTheme, ::testing::Values("Adwaita", "DMZ-White"),
                         [](const auto& theme) { return std::string(theme.param) == "Adwaita" ? "Adwaita" : "DmzWhite"; });

TEST(ThemeChoice, TheEnvironmentsThemeIsTheOneDrawn) {
    auto arrowOf = [](const char* theme) {
        const ProgramRun run = runAtlas({{"XCURSOR_THEME", theme}, {"XCURSOR_PATH", "/usr/share/icons"}});
        return nlohmann::json::parse(run.out).at("arrow").at("dataUrl").get<std::string>();
    };
    EXPECT_NE(arrowOf("Adwaita"), arrowOf("DMZ-White"));
}

TEST(ThemeChoice, NoThemeAtAllPrintsAnEmptyObjectAndSucceeds) {
    char pattern[] = "/tmp/atlas-empty-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const ProgramRun run = runAtlas({{"XCURSOR_THEME", "NoSuchTheme"}, {"XCURSOR_PATH", pattern}});
    std::filesystem::remove_all(pattern);
    EXPECT_EQ(run.status, ExitStatus::exitCode(0));
    EXPECT_EQ(run.out, "{}");
    EXPECT_EQ(run.err, "");
}

// The theme's size is asked of the display when the environment does not give it. A
// display that refuses (no cookie) or takes the connection and never answers must
// neither reach standard error nor hold the atlas up.
TEST(ThemeChoice, AnXServerThatRefusesOrNeverAnswersChangesNothingButTheSize) {
    using kelvane::testing::StuckXServer;
    for (const StuckXServer::Behaviour behaviour : {StuckXServer::Behaviour::refuses, StuckXServer::Behaviour::neverAnswers}) {
        const StuckXServer server(behaviour);
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun run = runAtlas(
            {{"DISPLAY", server.displayName()}, {"XCURSOR_THEME", "Adwaita"}, {"XCURSOR_PATH", "/usr/share/icons"}});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        EXPECT_EQ(run.status, ExitStatus::exitCode(0));
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(nlohmann::json::parse(run.out).contains("arrow"));
    }
}

}  // namespace
