#include "platform/linux/wayland/wayland_outputs.h"

#include <gtest/gtest.h>

namespace kelvane::platform::wayland {
namespace {

OutputInfo output(std::uint32_t globalName, std::string name, std::int32_t modeWidth = 0, std::int32_t modeHeight = 0,
                  std::int32_t scale = 1, std::int32_t transform = 0) {
    OutputInfo info;
    info.globalName = globalName;
    info.name = std::move(name);
    info.modeWidth = modeWidth;
    info.modeHeight = modeHeight;
    info.scale = scale;
    info.transform = transform;
    return info;
}

OutputInfo moved(OutputInfo info, std::int32_t x, std::int32_t y) {
    info.x = x;
    info.y = y;
    return info;
}

TEST(WaylandOutputs, FramesAndPixelSizesFromLayoutModeScaleAndTransform) {
    struct Case {
        const char* what;
        OutputInfo output;
        Rect frame;
        std::uint32_t pixelWidth, pixelHeight;
    };
    OutputInfo logical = output(7, "DP-1", 3840, 2160, 2);
    logical.logicalX = 1920;
    logical.logicalY = -200;
    logical.logicalWidth = 1920;
    logical.logicalHeight = 1080;
    OutputInfo fractional = logical;  // xdg-output tells a layout wl_output's integer scale cannot
    fractional.logicalWidth = 2560;
    fractional.logicalHeight = 1440;
    const Case cases[] = {
        {"logical layout wins", logical, {1920, -200, 1920, 1080}, 3840, 2160},
        {"fractional scale", fractional, {1920, -200, 2560, 1440}, 3840, 2160},
        {"no xdg-output, scale 2", moved(output(8, "", 2560, 1600, 2), 100, 50), {100, 50, 1280, 800}, 2560, 1600},
        {"turned 90 degrees", output(9, "", 1920, 1080, 1, 1), {0, 0, 1080, 1920}, 1080, 1920},
        {"flipped and turned 270", output(9, "", 1920, 1080, 1, 7), {0, 0, 1080, 1920}, 1080, 1920},
        {"upside down", output(9, "", 1920, 1080, 1, 2), {0, 0, 1920, 1080}, 1920, 1080},
        {"no scale announced", output(9, "", 800, 600, 0), {0, 0, 800, 600}, 800, 600},
    };
    for (const Case& c : cases) {
        const std::vector<ShareableDisplay> displays = displaysFromOutputs({c.output});
        ASSERT_EQ(displays.size(), 1u);
        EXPECT_EQ(displays[0].frame, c.frame) << c.what;
        EXPECT_EQ(displays[0].pixelWidth, c.pixelWidth) << c.what;
        EXPECT_EQ(displays[0].pixelHeight, c.pixelHeight) << c.what;
        EXPECT_EQ(displays[0].displayID, displayIDOf(c.output)) << c.what;
    }
}

TEST(WaylandOutputs, IdsFollowTheOutputNameNotItsAnnouncement) {
    const OutputInfo first = output(31, "HEADLESS-1");
    const OutputInfo replugged = output(52, "HEADLESS-1");
    const OutputInfo other = output(31, "HEADLESS-2");
    EXPECT_EQ(displayIDOf(first), displayIDOf(replugged));
    EXPECT_NE(displayIDOf(first), displayIDOf(other));
    EXPECT_EQ(displayIDOf(first), 2675618608u);  // what the desktop tests see for HEADLESS-1
    EXPECT_EQ(displayIDOf(output(31, "")), 31u);
}

}  // namespace
}  // namespace kelvane::platform::wayland
