// Finishing a recording: the tail frame, where the main file ends, the order in which
// files are closed, and the reset that allows another start.
#include "recorder/tests/recorder_harness.h"

namespace kelvane::recorder::test {
namespace {

using platform::MediaType;

const char* withSystemAudio =
    R"({"outputPath":"/out/v.mp4","capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a"})";

class Finishing : public ::testing::Test {
protected:
    void startWith(const char* json) {
        CapturedOutput quiet;
        h.start(json);
    }
    std::shared_ptr<testing::FakeMediaWriter> main() { return h.writers->writer("/out/v.mp4"); }
    std::shared_ptr<testing::FakeWriterInput> video() { return main()->input(MediaType::video); }
    // Stops at host-clock time `at` and returns the main file's session end in seconds.
    double stopAt(double at) {
        h.clock->set(host(at));
        CapturedOutput quiet;
        const auto outcome = h.stop();
        EXPECT_EQ(outcome.path, "/out/v.mp4");
        return main()->sessionEnd().value_or(MediaTime::invalid()).seconds();
    }

    RecorderHarness h;
};

TEST_F(Finishing, InlineAudioOutlastingThePictureExtendsTheFile) {
    startWith(withSystemAudio);
    h.deliver(frame(0));
    h.deliver(frame(9.95));
    h.deliver(audio(10.50, 0.02), StreamOutputType::audio);
    EXPECT_NEAR(stopAt(9.95), 10.52, 1e-9);
    // The last frame is repeated where it ends.
    const auto written = times(video()->appended());
    ASSERT_EQ(written.size(), 3u);
    EXPECT_NEAR(written[2], 9.95 + 1.0 / 60, 1e-9);
}

TEST_F(Finishing, AudioOverhangIsCutToTwoSeconds) {
    startWith(withSystemAudio);
    h.deliver(frame(0));
    h.deliver(frame(9.95));
    h.deliver(audio(12.98, 0.02), StreamOutputType::audio);
    EXPECT_NEAR(stopAt(9.95), 9.95 + 1.0 / 60 + 2.0, 1e-9);
}

TEST_F(Finishing, AudioEndingBeforeThePictureDoesNotMatter) {
    startWith(withSystemAudio);
    h.deliver(frame(0));
    h.deliver(audio(3, 0.5), StreamOutputType::audio);
    h.deliver(frame(5));
    EXPECT_NEAR(stopAt(5), 5 + 1.0 / 60, 1e-9);
}

TEST_F(Finishing, WithoutAnyWrittenFrameTheFileHoldsAtMostTwoSecondsOfAudio) {
    startWith(withSystemAudio);
    h.deliver(frame(0, FrameStatus::idle));
    h.deliver(audio(1.5, 0.02), StreamOutputType::audio);
    EXPECT_NEAR(stopAt(1.6), 1.52, 1e-9);
    EXPECT_TRUE(video()->offered().empty());

    startWith(withSystemAudio);
    h.deliver(frame(0, FrameStatus::idle));
    h.deliver(audio(3, 0.02), StreamOutputType::audio);
    EXPECT_NEAR(stopAt(4), 2.0, 1e-9);

    startWith(R"({"outputPath":"/out/v.mp4"})");
    EXPECT_EQ(stopAt(4), 0.0);
}

TEST_F(Finishing, TailOfAFrameWithoutDurationFallsBackToOneSixtieth) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    h.deliver(frame(0, FrameStatus::complete, MediaTime::invalid()));
    h.deliver(frame(2, FrameStatus::complete, MediaTime::zero()));
    EXPECT_NEAR(stopAt(2), 2 + 1.0 / 60, 1e-9);
    EXPECT_NEAR(times(video()->appended()).back(), 2 + 1.0 / 60, 1e-9);
}

TEST_F(Finishing, AStaticScreenRecordedForTenSecondsGivesATenSecondFile) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    h.deliver(frame(0));
    for (double t = 0.5; t < 10; t += 0.5) h.deliver(frame(t, FrameStatus::idle));
    EXPECT_NEAR(stopAt(10), 10.0, 1e-9);
    EXPECT_EQ(times(video()->appended()), (std::vector<double>{0, 10}));
}

TEST_F(Finishing, StoppingWhilePausedEndsAtThePause) {
    startWith(withSystemAudio);
    h.deliver(frame(0));
    h.deliver(frame(4));
    h.clock->set(host(6));
    h.recorder().pause();
    h.deliver(frame(7));
    h.deliver(audio(7), StreamOutputType::audio);
    EXPECT_NEAR(stopAt(30), 6.0, 1e-9);
    EXPECT_EQ(times(video()->appended()), (std::vector<double>{0, 4, 6}));
}

TEST_F(Finishing, PausedTimeIsNotPartOfTheRecordingsEnd) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    h.deliver(frame(0));
    h.clock->set(host(2));
    h.recorder().pause();
    h.clock->set(host(5));
    h.recorder().resume();
    h.deliver(frame(5.5));  // folds 3.5 s
    EXPECT_NEAR(stopAt(9), 9 - 3.5, 1e-9);
}

TEST_F(Finishing, WritersAreClosedOneAfterAnotherMainFirst) {
    startWith(R"({"outputPath":"/out/v.mp4","capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a",)"
              R"("capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})");
    h.deliver(frame(0));
    stopAt(1);
    const auto events = h.writers->log->snapshot();
    const std::vector<std::string> finishes(events.end() - 3, events.end());
    EXPECT_EQ(finishes, (std::vector<std::string>{"finishWriting /out/v.mp4", "finishWriting /out/s.m4a",
                                                  "finishWriting /out/m.m4a"}));
    for (const auto* path : {"/out/v.mp4", "/out/s.m4a", "/out/m.m4a"}) {
        for (const auto& input : h.writers->writer(path)->inputs()) EXPECT_TRUE(input->finished()) << path;
    }
    // Only the main file's session is given an end.
    EXPECT_FALSE(h.writers->writer("/out/s.m4a")->sessionEnd().has_value());
    EXPECT_FALSE(h.writers->writer("/out/m.m4a")->sessionEnd().has_value());
    EXPECT_EQ(h.stream()->stopRequests(), 1);
}

TEST_F(Finishing, AFailedWriterIsReportedButTheStopStillSucceeds) {
    h.writers->configure = [](testing::FakeMediaWriter& w) { w.failOnFinish = w.path() == "/out/s.m4a"; };
    startWith(withSystemAudio);
    h.deliver(frame(0));
    CapturedOutput output;
    const auto outcome = h.stop();
    EXPECT_EQ(outcome.path, "/out/v.mp4");
    EXPECT_EQ(output.err(), "Error: Disk full while writing /out/s.m4a\n");
    EXPECT_EQ(h.writers->writer("/out/v.mp4")->status(), platform::MediaWriterStatus::completed);
}

TEST_F(Finishing, StopWithoutRecordingFailsWithCode9) {
    const auto outcome = h.stop();
    EXPECT_EQ(outcome.errorCode, 9);
    EXPECT_EQ(outcome.errorText, "No recording in progress");
}

TEST_F(Finishing, OnlyOneFinishRunsAndASecondStopWaitsForIt) {
    h.streams->holdStops = true;
    startWith(R"({"outputPath":"/out/v.mp4"})");
    h.deliver(frame(0));
    CapturedOutput quiet;
    auto first = h.stopAsync();
    auto second = h.stopAsync();
    // Both wait while the stream is being stopped; the writers are untouched.
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    EXPECT_EQ(main()->status(), platform::MediaWriterStatus::writing);
    h.stream()->releaseStop("stream already gone");
    EXPECT_EQ(first.get(), "/out/v.mp4");
    try {
        second.get();
        ADD_FAILURE() << "the second stop succeeded";
    } catch (const CaptureError& error) {
        EXPECT_EQ(error.code(), 9);
    }
    EXPECT_EQ(h.stream()->stopRequests(), 1);
    EXPECT_EQ(main()->status(), platform::MediaWriterStatus::completed);
    // And once finished, a stop fails at once.
    EXPECT_EQ(h.stop().errorCode, 9);
}

TEST_F(Finishing, EveryFieldIsResetAndASecondRecordingStartsFresh) {
    startWith(R"({"outputPath":"/out/v.mp4","capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a",)"
              R"("capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})");
    h.deliver(frame(0));
    h.deliver(audio(0.5), StreamOutputType::audio);
    h.deliver(audio(0.5), StreamOutputType::microphone);
    h.clock->set(host(1));
    h.recorder().pause();
    h.recorder().resume();
    h.deliver(frame(3));
    stopAt(4);

    const auto s = h.recorder().state();
    const auto& o = s.outputs;
    EXPECT_FALSE(o.assetWriter || o.videoInput || o.systemAudio.writer || o.systemAudio.input ||
                 o.microphoneOnly.writer || o.microphoneOnly.input || o.inlineAudioInput || s.stream ||
                 s.windowValidationTask);
    EXPECT_FALSE(s.outputURL || s.microphoneOutputURL || s.trackedWindowId || s.lastSampleBuffer ||
                 s.firstSystemAudioSampleTime || s.firstMicrophoneSampleTime || s.firstInlineAudioSampleTime ||
                 s.timeline.pauseStartedHostTime);
    EXPECT_FALSE(s.isRecording || s.isPaused || s.timeline.pendingResumeAdjustment || s.sessionStarted ||
                 s.capturesSystemAudio || s.capturesMicrophone || s.writesSystemAudioToSeparateTrack ||
                 s.writesMicrophoneToSeparateTrack || s.isFinishing);
    EXPECT_EQ(s.timeline.firstSampleTime, MediaTime::zero());
    EXPECT_EQ(s.timeline.accumulatedPausedDuration, MediaTime::zero());
    EXPECT_EQ(s.timeline.lastVideoPresentationTime, MediaTime::zero());
    EXPECT_EQ(s.timeline.lastVideoDuration, MediaTime::zero());
    EXPECT_FALSE(s.lastInlineAudioPresentationTime.isValid());
    EXPECT_EQ(s.lastInlineAudioDuration, MediaTime::zero());
    EXPECT_EQ(s.timeline.frameCount, 0);

    // The next recording's origin is its own first frame, with no pause carried over.
    startWith(R"({"outputPath":"/out/second.mp4"})");
    h.deliver(frame(100));
    h.deliver(frame(101));
    EXPECT_EQ(times(h.writers->writer("/out/second.mp4")->input(MediaType::video)->appended()),
              (std::vector<double>{0, 1}));
}

}  // namespace
}  // namespace kelvane::recorder::test
