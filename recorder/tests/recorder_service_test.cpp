// The command service: the outcome lines of start and stop, and termination signals.
#include "recorder/recorder_service.h"
#include "recorder/tests/recorder_harness.h"

namespace kelvane::recorder::test {
namespace {

TEST(RecorderService, ASignalDuringTheStartStopsTheRecordingOnceItRuns) {
    RecorderHarness h;
    h.streams->holdStarts = true;
    CapturedOutput output;
    RecorderService service(h.platform(), h.pool().get_executor());
    service.start(R"({"outputPath":"/out/early.mp4"})");
    ASSERT_TRUE(eventually([&] { return h.stream() && h.stream()->startHeld(); }));
    service.stopOnSignal();
    service.stopOnSignal();
    // A stop line after the signal's stop adds no refusal to its success.
    service.stop();
    EXPECT_FALSE(service.completionGroup().waitFor(std::chrono::milliseconds(100)));
    h.stream()->releaseStart();
    ASSERT_TRUE(service.completionGroup().waitFor(std::chrono::seconds(10)));
    EXPECT_EQ(output.out(), "Recording started\nRecording stopped. Output path: /out/early.mp4\n");
    EXPECT_EQ(output.err(), "");
    EXPECT_EQ(h.writers->writer("/out/early.mp4")->status(), platform::MediaWriterStatus::completed);
}

TEST(RecorderService, DecliningTheScreenAtTheStartIsTheScreenAccessRefusalAndOtherStartErrorsAreNot) {
    const struct {
        std::string startError;
        bool declined;
        std::string line;
    } cases[] = {
        {platform::screenSharingDeclinedDescription, true, "SCREEN_RECORDING_PERMISSION_DENIED\n"},
        {"The desktop portal's screen cast (Start) failed (response 2)", false,
         "Error starting capture: The desktop portal's screen cast (Start) failed (response 2)\n"},
        // Only the stream's word counts, not a description that reads the same.
        {platform::screenSharingDeclinedDescription, false,
         "Error starting capture: " + std::string(platform::screenSharingDeclinedDescription) + "\n"},
    };
    for (const auto& c : cases) {
        RecorderHarness h;
        h.streams->nextStartError = c.startError;
        h.streams->nextStartDeclined = c.declined;
        CapturedOutput output;
        RecorderService service(h.platform(), h.pool().get_executor());
        service.start(R"({"outputPath":"/out/declined.mp4"})");
        ASSERT_TRUE(service.completionGroup().waitFor(std::chrono::seconds(10)));
        EXPECT_EQ(output.err(), c.line);
        EXPECT_EQ(output.out(), "");
        EXPECT_EQ(service.screenAccessDeclined(), c.declined);
        EXPECT_FALSE(service.recorder().state().isRecording);
    }
}

TEST(RecorderService, AStopLineDuringTheStartIsRefusedAndEndsTheWait) {
    RecorderHarness h;
    h.streams->holdStarts = true;
    CapturedOutput output;
    RecorderService service(h.platform(), h.pool().get_executor());
    service.start(R"({"outputPath":"/out/early.mp4"})");
    ASSERT_TRUE(eventually([&] { return h.stream() && h.stream()->startHeld(); }));
    service.stop();
    ASSERT_TRUE(service.completionGroup().waitFor(std::chrono::seconds(10)));
    EXPECT_EQ(output.err(), "Error stopping capture: No recording in progress\n");
    // A signal after a stop line adds nothing.
    service.stopOnSignal();
    h.stream()->releaseStart();
    // The line is written just after the state says recording.
    ASSERT_TRUE(eventually([&] { return output.out() == "Recording started\n"; })) << output.out();
    EXPECT_TRUE(service.recorder().state().isRecording);
    service.stop();
    ASSERT_TRUE(eventually([&] { return output.out().find("Recording stopped") != std::string::npos; }));
}

}  // namespace
}  // namespace kelvane::recorder::test
