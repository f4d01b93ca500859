// kelvane-recorder run as the host runs it in the throwaway Wayland session, where no X
// server is reachable: the display and a window by the id the window list gave, recorded
// through the desktop portal, with the same lines and exit statuses as on X11.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <thread>

#include "platform/linux/ffmpeg/tests/media_probe.h"
#include "recorder/tests/recorder_run.h"
#include "testing/child_process.h"

namespace kelvane::recorder::test {
namespace {

using namespace std::chrono_literals;
using platform::ffmpeg::testing::numberField;
using platform::ffmpeg::testing::probe;
using platform::ffmpeg::testing::streamOf;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::SpawnOptions;

const std::string windowLister = KELVANE_BINARY_DIR "/windows/kelvane-windows";
const std::string stoppedPrefix = "Recording stopped. Output path: ";

// How many decoded frames differ from the one before.
int changes(const DecodedVideo& video) {
    int count = 0;
    for (std::size_t i = 1; i < video.frames.size(); ++i) count += video.frames[i] != video.frames[i - 1];
    return count;
}

// The share of a frame's pixels that are clearly red.
double redShare(const DecodedVideo& video, std::size_t frame) {
    const auto& pixels = video.frames.at(frame);
    std::size_t red = 0;
    for (std::size_t at = 0; at + 2 < pixels.size(); at += 3) red += pixels[at] > 200 && pixels[at + 1] < 60 && pixels[at + 2] < 60;
    return static_cast<double>(red) / (pixels.size() / 3);
}

// A terminal window with a red background and the app id `appId`, open until ended.
std::vector<std::string> redWindow(const std::string& appId) {
    return {"foot", "--app-id=" + appId, "--override=colors.background=ff0000", "sleep", "60"};
}

// The window list's entry whose name mentions `text`, once it appears.
std::optional<nlohmann::json> listedWindow(const std::string& text) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        ChildProcess lister({windowLister});
        lister.closeStdin();
        const auto listing = nlohmann::json::parse(lister.readStdoutToEnd(5s), nullptr, false);
        lister.waitForExit(5s);
        if (listing.is_array()) {
            for (const auto& entry : listing) {
                if (entry.dump().find(text) != std::string::npos) return entry;
            }
        }
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

std::uint32_t windowNumber(const nlohmann::json& entry) {
    // "window:<id>:0"
    const std::string id = entry["id"];
    return static_cast<std::uint32_t>(std::stoul(id.substr(7, id.rfind(':') - 7)));
}

TEST(RecorderOnWayland, RecordsTheOutputAtItsSizeFollowingTheClockAndShowingItsWindows) {
    const std::string folder = makeTemporaryFolder();
    const std::string movie = folder + "/display.mp4";
    RecorderRun run(R"({"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    std::this_thread::sleep_for(1500ms);
    ChildProcess red(redWindow("kelvane-red-display"));
    std::this_thread::sleep_for(1500ms);
    run.command("stop");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));
    EXPECT_EQ(run.lines(), (std::vector<std::string>{"Recording started", stoppedPrefix + movie}));
    EXPECT_TRUE(run.errorLines().empty()) << run.transcript();

    const auto probed = probe(movie);
    const auto video = streamOf(probed, "video");
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["width"], 1920);
    EXPECT_EQ(video["height"], 1080);
    EXPECT_NEAR(numberField(probed["format"], "duration"), run.recordedSpan(), 0.4);

    const DecodedVideo decoded = decodeVideo(movie, 192, 108);
    ASSERT_GE(decoded.frames.size(), 10u);
    // The clock prints every 50 ms; the recording keeps up with it.
    EXPECT_GE(changes(decoded), 20);
    // The red terminal opened half-way takes its share of the screen.
    EXPECT_LT(redShare(decoded, 0), 0.05);
    EXPECT_GT(redShare(decoded, decoded.frames.size() - 1), 0.3);
}

TEST(RecorderOnWayland, RecordsAWindowByItsListedIdFollowingItAndEndsWhenItCloses) {
    std::optional<ChildProcess> red;
    red.emplace(redWindow("kelvane-red-window"));
    const auto entry = listedWindow("kelvane-red-window");
    ASSERT_TRUE(entry) << "the red window was never listed";
    const std::string folder = makeTemporaryFolder();
    const std::string movie = folder + "/window.mp4";
    RecorderRun run(R"({"windowId":)" + std::to_string(windowNumber(*entry)) + R"(,"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    std::this_thread::sleep_for(1500ms);
    // Floating, smaller and elsewhere: the clock takes the whole screen behind it, so a
    // recording still cutting out the old rectangle would show the clock.
    ChildProcess({"swaymsg", "[app_id=kelvane-red-window] floating enable, resize set 400 300, move position 100 100"})
        .waitForExit(5s);
    std::this_thread::sleep_for(1500ms);
    red.reset();
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));
    EXPECT_EQ(run.lines(), (std::vector<std::string>{"Recording started", "WINDOW_UNAVAILABLE", stoppedPrefix + movie}));
    EXPECT_TRUE(run.errorLines().empty()) << run.transcript();

    const auto video = streamOf(probe(movie), "video");
    EXPECT_EQ(video["width"], (*entry)["width"].get<int>() / 2 * 2);
    EXPECT_EQ(video["height"], (*entry)["height"].get<int>() / 2 * 2);
    const DecodedVideo decoded = decodeVideo(movie, 64, 64);
    ASSERT_GE(decoded.frames.size(), 2u);
    // The window's own pixels, not the clock's beside it, before and after it moved (then
    // 400x300 fitted into the recording's taller frame, with black bars above and below),
    // and not the clock that shows where it was once it closed.
    EXPECT_GT(redShare(decoded, 0), 0.9);
    const std::size_t last = decoded.frames.size() - 1;
    EXPECT_GT(redShare(decoded, last), 0.5);
    EXPECT_LT(redShare(decoded, last), 0.9);
    const auto& lastPixels = decoded.frames[last];
    EXPECT_LT(lastPixels[(2 * 64 + 32) * 3], 30) << "the bar above is black";
}

// Sends the clock to a workspace no output shows while it lives, and brings it back.
struct ClockAway {
    ClockAway() { ChildProcess({"swaymsg", "[app_id=kelvane-clock] move to workspace 9"}).waitForExit(5s); }
    ~ClockAway() { ChildProcess({"swaymsg", "[app_id=kelvane-clock] move to workspace 1"}).waitForExit(5s); }
};

TEST(RecorderOnWayland, AStillScreenIsInEveryRecordingNotOnlyTheFirstScreenCast) {
    const ClockAway clockAway;
    ChildProcess red(redWindow("kelvane-red-still"));
    ASSERT_TRUE(listedWindow("kelvane-red-still")) << "the red window was never listed";
    std::this_thread::sleep_for(1s);
    const std::string folder = makeTemporaryFolder();
    for (int take = 1; take <= 3; ++take) {
        SCOPED_TRACE("recording " + std::to_string(take));
        const std::string movie = folder + "/still-" + std::to_string(take) + ".mp4";
        RecorderRun run(R"({"outputPath":")" + movie + R"("})");
        ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
        std::this_thread::sleep_for(1500ms);
        run.command("stop");
        EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));
        EXPECT_TRUE(run.errorLines().empty()) << run.transcript();

        const auto probed = probe(movie);
        const auto video = streamOf(probed, "video");
        ASSERT_EQ(video["codec_name"], "h264") << probed.dump();
        EXPECT_EQ(video["width"], 1920);
        EXPECT_NEAR(numberField(probed["format"], "duration"), run.recordedSpan(), 0.4);
        const DecodedVideo decoded = decodeVideo(movie, 192, 108);
        ASSERT_FALSE(decoded.frames.empty());
        EXPECT_GT(redShare(decoded, 0), 0.8) << "the screen as it is, the red window alone on it";
    }
}

TEST(RecorderOnWayland, WithoutAPortalTheRecorderRefusesWithinSeconds) {
    SpawnOptions noBus;
    noBus.setEnvironment["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + makeTemporaryFolder() + "/no-bus";
    const auto began = std::chrono::steady_clock::now();
    RecorderRun run(R"({"outputPath":")" + makeTemporaryFolder() + R"(/none.mp4"})", noBus);
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(1));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
    EXPECT_TRUE(run.lines().empty());
    EXPECT_EQ(run.errorLines(), std::vector<std::string>{"SCREEN_RECORDING_PERMISSION_DENIED"});
}

}  // namespace
}  // namespace kelvane::recorder::test
