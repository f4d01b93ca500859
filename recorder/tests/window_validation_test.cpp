// Window validation: a closed window ends the recording and the process; nothing else does.
#include <thread>

#include "recorder/tests/recorder_harness.h"

namespace kelvane::recorder::test {
namespace {

platform::ShareableContentSnapshot withWindows(std::vector<std::uint32_t> ids, bool onScreen = true) {
    platform::ShareableContentSnapshot snapshot;
    snapshot.displays.push_back(platform::ShareableDisplay{1, {0, 0, 1440, 900}, 2880, 1800});
    snapshot.mainDisplayID = 1;
    for (auto id : ids) {
        platform::ShareableWindow window;
        window.windowID = id;
        window.frame = {10, 10, 400, 300};
        window.isOnScreen = onScreen;
        snapshot.windows.push_back(window);
    }
    return snapshot;
}

TEST(WindowValidation, AClosedWindowEndsTheRecordingAndTheProcess) {
    RecorderHarness h;
    h.content->setAnswer(withWindows({5, 9}));
    CapturedOutput output;
    h.start(R"({"windowId":9,"outputPath":"/out/w.mp4"})");
    h.deliver(frame(0));
    // Minimised or on another desktop still counts as present.
    h.content->setAnswer(withWindows({5, 9}, false));
    const std::size_t before = h.content->queries().size();
    ASSERT_TRUE(eventually([&] { return h.content->queries().size() >= before + 3; }));
    EXPECT_TRUE(h.recorder().state().isRecording);
    EXPECT_FALSE(h.content->queries().back().onScreenWindowsOnly);
    // So does a window its application has withdrawn.
    platform::ShareableContentSnapshot withdrawn = withWindows({5, 9}, false);
    withdrawn.withdrawnWindows.push_back(withdrawn.windows.back());
    withdrawn.windows.pop_back();
    h.content->setAnswer(withdrawn);
    const std::size_t beforeWithdrawal = h.content->queries().size();
    ASSERT_TRUE(eventually([&] { return h.content->queries().size() >= beforeWithdrawal + 3; }));
    EXPECT_TRUE(h.recorder().state().isRecording);

    h.content->setAnswer(withWindows({5}));
    ASSERT_TRUE(eventually([&] { return h.exitCalls.load() == 1; }));
    EXPECT_EQ(h.exitStatus.load(), 0);
    EXPECT_EQ(output.out(), "Recording started\nWINDOW_UNAVAILABLE\nRecording stopped. Output path: /out/w.mp4\n");
    EXPECT_EQ(output.err(), "");
    EXPECT_FALSE(h.recorder().state().isRecording);
    EXPECT_EQ(h.writers->writer("/out/w.mp4")->status(), platform::MediaWriterStatus::completed);
}

TEST(WindowValidation, FailedQueriesAreRetriedAndDoNotEndTheRecording) {
    RecorderHarness h;
    h.content->setAnswer(withWindows({9}));
    CapturedOutput output;
    h.start(R"({"windowId":9,"outputPath":"/out/w.mp4"})");
    h.content->setAnswer(platform::Error{"The window server did not answer"});
    const std::size_t before = h.content->queries().size();
    ASSERT_TRUE(eventually([&] { return h.content->queries().size() >= before + 5; }));
    EXPECT_TRUE(h.recorder().state().isRecording);
    EXPECT_EQ(h.exitCalls.load(), 0);

    // Paused recordings are still watched.
    h.recorder().pause();
    h.content->setAnswer(withWindows({}));
    ASSERT_TRUE(eventually([&] { return h.exitCalls.load() == 1; }));
    EXPECT_EQ(output.err(), "");
}

TEST(WindowValidation, AStopCancelsThePolling) {
    RecorderHarness h;
    h.content->setAnswer(withWindows({9}));
    CapturedOutput output;
    h.start(R"({"windowId":9,"outputPath":"/out/w.mp4"})");
    ASSERT_TRUE(h.recorder().state().windowValidationTask);
    EXPECT_EQ(h.stop().path, "/out/w.mp4");
    const std::size_t after = h.content->queries().size();
    h.content->setAnswer(withWindows({}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(h.content->queries().size(), after + 1);
    EXPECT_EQ(h.exitCalls.load(), 0);
    EXPECT_EQ(output.out(), "Recording started\n");
}

TEST(WindowValidation, ADisplayRecordingHasNoTask) {
    RecorderHarness h;
    CapturedOutput quiet;
    h.start(R"({"outputPath":"/out/d.mp4"})");
    EXPECT_FALSE(h.recorder().state().windowValidationTask);
    const std::size_t queries = h.content->queries().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(h.content->queries().size(), queries);
}

TEST(WindowValidation, AStopDuringItsFinishWaitsAndDoesNotFinishAgain) {
    RecorderHarness h;
    h.streams->holdStops = true;
    h.content->setAnswer(withWindows({9}));
    CapturedOutput output;
    h.start(R"({"windowId":9,"outputPath":"/out/w.mp4"})");
    h.content->setAnswer(withWindows({}));
    ASSERT_TRUE(eventually([&] { return h.stream()->stopRequests() == 1; }));
    auto stop = h.stopAsync();
    EXPECT_EQ(stop.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    h.stream()->releaseStop();
    ASSERT_TRUE(eventually([&] { return h.exitCalls.load() == 1; }));
    try {
        stop.get();
        ADD_FAILURE() << "the stop finished the recording a second time";
    } catch (const CaptureError& error) {
        EXPECT_EQ(error.code(), 9);
    }
    EXPECT_EQ(h.stream()->stopRequests(), 1);
    EXPECT_EQ(output.out(), "Recording started\nWINDOW_UNAVAILABLE\nRecording stopped. Output path: /out/w.mp4\n");
}

}  // namespace
}  // namespace kelvane::recorder::test
