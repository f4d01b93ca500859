// kelvane-recorder in a Wayland session whose screen-sharing chooser closes without a
// choice, as when the user cancels it: the same refusal as a denied X11 screen.
#include <gtest/gtest.h>

#include <filesystem>

#include "recorder/tests/recorder_run.h"

namespace kelvane::recorder::test {
namespace {

using kelvane::testing::ExitStatus;

TEST(RecorderOnWaylandWithADecliningChooser, RefusesWithTheScreenAccessLineAndWritesNothing) {
    const std::string movie = makeTemporaryFolder() + "/declined.mp4";
    RecorderRun run(R"({"outputPath":")" + movie + R"("})");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(1));
    EXPECT_TRUE(run.lines().empty()) << run.transcript();
    EXPECT_EQ(run.errorLines(), std::vector<std::string>{"SCREEN_RECORDING_PERMISSION_DENIED"}) << run.transcript();
    EXPECT_FALSE(std::filesystem::exists(movie));
}

}  // namespace
}  // namespace kelvane::recorder::test
