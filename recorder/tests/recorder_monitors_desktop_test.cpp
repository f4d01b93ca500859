// kelvane-recorder on a desktop of two monitors: a display number picks the monitor.
#include <gtest/gtest.h>

#include <thread>

#include "platform/linux/ffmpeg/tests/media_probe.h"
#include "platform/shareable_content.h"
#include "recorder/tests/recorder_run.h"
#include "testing/child_process.h"

namespace kelvane::recorder::test {
namespace {

using namespace std::chrono_literals;
using namespace platform;
using platform::ffmpeg::testing::probe;
using platform::ffmpeg::testing::streamOf;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;

const std::string windowMaker = KELVANE_BINARY_DIR "/testing/window_maker/kelvane-test-window";

std::vector<ShareableDisplay> displays() {
    std::optional<ShareableContentResult> answer;
    makeShareableContent()->getShareableContent(true, true, [&](ShareableContentResult result) { answer = result; });
    if (!answer || !std::holds_alternative<ShareableContentSnapshot>(*answer)) return {};
    return std::get<ShareableContentSnapshot>(*answer).displays;
}

TEST(RecorderOnTwoMonitors, TheSecondMonitorsNumberRecordsThatMonitor) {
    const auto all = displays();
    ASSERT_EQ(all.size(), 2u);
    const auto second = std::find_if(all.begin(), all.end(), [](const auto& d) { return d.frame.x > 0; });
    ASSERT_NE(second, all.end());

    // Bright red on the second monitor only.
    ChildProcess maker({windowMaker, "--window", "color=#e01010", "x=" + std::to_string(int(second->frame.x)),
                          "y=0", "w=" + std::to_string(int(second->frame.width)),
                          "h=" + std::to_string(int(second->frame.height))});
    ASSERT_TRUE(maker.readStdoutLine(20s));

    const std::string movie = makeTemporaryFolder() + "/second.mp4";
    RecorderRun run(R"({"displayId":)" + std::to_string(second->displayID) + R"(,"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    std::this_thread::sleep_for(1000ms);
    run.command("stop");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));

    const auto video = streamOf(probe(movie), "video");
    EXPECT_EQ(video["width"], int(second->frame.width));
    EXPECT_EQ(video["height"], int(second->frame.height));
    const DecodedVideo decoded = decodeVideo(movie, 16, 16);
    ASSERT_FALSE(decoded.frames.empty());
    const auto& pixels = decoded.frames.back();
    const std::size_t centre = (8 * 16 + 8) * 3;
    EXPECT_GT(pixels[centre], 180);
    EXPECT_LT(pixels[centre + 1], 60);
}

}  // namespace
}  // namespace kelvane::recorder::test
