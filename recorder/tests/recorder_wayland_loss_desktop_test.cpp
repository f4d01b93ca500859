// kelvane-recorder in the throwaway Wayland session when the screen cast's server goes
// away mid-recording: one error line, the recording goes on, and the stop still writes a
// playable movie. Which server is ended (the portal or PipeWire) comes from
// KELVANE_TEST_ENDED_SERVER, so each case gets a session of its own.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "platform/linux/ffmpeg/tests/media_probe.h"
#include "recorder/tests/recorder_run.h"

namespace kelvane::recorder::test {
namespace {

using namespace std::chrono_literals;
using platform::ffmpeg::testing::numberField;
using platform::ffmpeg::testing::probe;
using platform::ffmpeg::testing::streamOf;
using kelvane::testing::ExitStatus;

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Processes of this test's own session running the program `name`.
std::vector<pid_t> sessionProcesses(const std::string& name) {
    const std::string mark = std::string("KELVANE_TEST_DESKTOP_DIR=") + std::getenv("KELVANE_TEST_DESKTOP_DIR");
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string command = fileText("/proc/" + pid + "/cmdline");
        const std::string program = command.substr(0, command.find('\0'));
        if (program.substr(program.rfind('/') + 1) != name) continue;
        const std::string environment = fileText("/proc/" + pid + "/environ");
        if (environment.find(mark + '\0') == std::string::npos) continue;
        found.push_back(static_cast<pid_t>(std::stoi(pid)));
    }
    if (proc) closedir(proc);
    return found;
}

TEST(RecorderLosingTheScreenCast, OneErrorLineAndTheStopStillWritesAPlayableMovie) {
    const char* ended = std::getenv("KELVANE_TEST_ENDED_SERVER");
    ASSERT_NE(ended, nullptr);
    const std::string folder = makeTemporaryFolder();
    const std::string movie = folder + "/lost.mp4";
    RecorderRun run(R"({"outputPath":")" + movie + R"("})");
    ASSERT_TRUE(run.waitUntilStarted()) << run.transcript();
    std::this_thread::sleep_for(1500ms);
    const auto servers = sessionProcesses(ended);
    ASSERT_EQ(servers.size(), 1u) << ended;
    kill(servers.front(), SIGKILL);
    std::this_thread::sleep_for(1000ms);
    run.command("stop");
    EXPECT_EQ(run.finish(), ExitStatus::exitCode(0));

    ASSERT_EQ(run.errorLines().size(), 1u) << run.transcript();
    EXPECT_TRUE(run.errorLines()[0].starts_with("Error: ")) << run.errorLines()[0];
    ASSERT_FALSE(run.lines().empty());
    EXPECT_EQ(run.lines().back(), "Recording stopped. Output path: " + movie);
    const auto probed = probe(movie);
    EXPECT_EQ(streamOf(probed, "video")["width"], 1920);
    // The last picture lasts to the stop.
    EXPECT_NEAR(numberField(probed["format"], "duration"), run.recordedSpan(), 0.4);
    EXPECT_GE(decodeVideo(movie, 16, 9).frames.size(), 10u);
}

}  // namespace
}  // namespace kelvane::recorder::test
