// Sample routing onto the recording's timeline: origin, clamping, pause and resume, and
// where each kind of sample goes. The timeline's own arithmetic is tested on its own.
#include "recorder/tests/recorder_harness.h"

namespace kelvane::recorder::test {
namespace {

using platform::MediaType;

const char* allAudio =
    R"({"outputPath":"/out/v.mp4","capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a",)"
    R"("capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})";

class Timeline : public ::testing::Test {
protected:
    void startWith(const char* json) {
        CapturedOutput quiet;
        h.start(json);
    }
    std::shared_ptr<testing::FakeWriterInput> video() { return h.writers->writer("/out/v.mp4")->input(MediaType::video); }
    std::shared_ptr<testing::FakeWriterInput> inlineAudio() {
        return h.writers->writer("/out/v.mp4")->input(MediaType::audio);
    }
    std::shared_ptr<testing::FakeWriterInput> systemFile() {
        return h.writers->writer("/out/s.m4a")->input(MediaType::audio);
    }
    std::shared_ptr<testing::FakeWriterInput> microphoneFile() {
        return h.writers->writer("/out/m.m4a")->input(MediaType::audio);
    }

    RecorderHarness h;
};

TEST_F(Timeline, IdleFirstFrameFixesTheOriginAndOnlyCompleteFramesAreWritten) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    h.deliver(frame(100.0, FrameStatus::idle));
    h.deliver(frame(100.5, FrameStatus::complete));
    h.deliver(frame(100.6, FrameStatus::blank));
    h.deliver(frame(100.7, FrameStatus::suspended));
    h.deliver(frame(101.0, FrameStatus::complete));

    const auto written = video()->appended();
    EXPECT_EQ(times(written), (std::vector<double>{0.5, 1.0}));
    // Written buffers are retimed copies of what the stream delivered.
    EXPECT_TRUE(written[0].sharesPayloadWith(h.recorder().state().lastSampleBuffer.value()) == false);
    EXPECT_TRUE(written[1].sharesPayloadWith(h.recorder().state().lastSampleBuffer.value()));
    EXPECT_EQ(h.recorder().state().lastSampleBuffer->presentationTimeStamp(), host(101.0));
    EXPECT_EQ(h.recorder().state().timeline.firstSampleTime, host(100.0));
    EXPECT_EQ(h.recorder().state().timeline.frameCount, 2);
}

TEST_F(Timeline, FramesWithoutAUsableStatusAreDropped) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    const auto timing = platform::SampleTiming{MediaTime::make(1, 60), host(1), MediaTime::invalid()};
    const platform::VideoFrame pixels{2, 2, 8, std::vector<std::uint8_t>(16)};
    h.deliver(SampleBuffer::video(pixels, timing));                              // no attachments at all
    h.deliver(SampleBuffer::video(pixels, timing, platform::SampleAttachments{}));  // an empty array
    h.deliver(SampleBuffer::video(pixels, timing, platform::SampleAttachments{{{"other", std::int64_t{0}}}}));
    h.deliver(SampleBuffer::video(pixels, timing,
                                  platform::SampleAttachments{{{platform::frameStatusAttachmentKey, 0.0}}}));
    h.deliver(SampleBuffer::video(pixels, timing,
                                  platform::SampleAttachments{{{platform::frameStatusAttachmentKey, std::string("0")}}}));
    h.deliver(frame(1, FrameStatus::complete).invalidated());
    EXPECT_TRUE(video()->offered().empty());
    // The first of them still fixed the origin.
    EXPECT_EQ(h.recorder().state().timeline.firstSampleTime, host(1));
}

TEST_F(Timeline, AudioBeforeTheFirstFrameIsLostAndEarlierStampsClampToZero) {
    startWith(allAudio);
    h.deliver(audio(9.0), StreamOutputType::audio);
    h.deliver(audio(9.5), StreamOutputType::microphone);
    EXPECT_TRUE(systemFile()->offered().empty());
    EXPECT_TRUE(microphoneFile()->offered().empty());

    h.deliver(frame(10.0));
    h.deliver(audio(9.98), StreamOutputType::audio);  // stamped before the first frame
    h.deliver(audio(10.25), StreamOutputType::audio);
    EXPECT_EQ(times(systemFile()->appended()), (std::vector<double>{0.0, 0.25}));
    const auto state = h.recorder().state();
    EXPECT_EQ(state.firstSystemAudioSampleTime, MediaTime::zero());
    EXPECT_EQ(state.lastInlineAudioPresentationTime, seconds(0.25));
    EXPECT_EQ(state.lastInlineAudioDuration, seconds(0.02));
}

TEST_F(Timeline, RoutingWithSystemAudioAndMicrophone) {
    startWith(allAudio);
    h.deliver(frame(0));
    h.deliver(audio(1), StreamOutputType::audio);
    h.deliver(audio(2), StreamOutputType::microphone);
    EXPECT_EQ(times(systemFile()->appended()), std::vector<double>{1});
    // The inline track carries system audio only.
    EXPECT_EQ(times(inlineAudio()->appended()), std::vector<double>{1});
    EXPECT_EQ(times(microphoneFile()->appended()), std::vector<double>{2});
    EXPECT_EQ(times(video()->appended()), std::vector<double>{0});
    // Screen samples never reach audio inputs, and unknown output types reach nothing.
    h.deliverDirect(audio(3), static_cast<StreamOutputType>(7));
    EXPECT_EQ(systemFile()->offered().size() + inlineAudio()->offered().size() + microphoneFile()->offered().size(), 3u);
}

TEST_F(Timeline, RoutingWithMicrophoneOnly) {
    startWith(R"({"outputPath":"/out/v.mp4","capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})");
    h.deliver(frame(0));
    h.deliver(audio(1), StreamOutputType::microphone);
    EXPECT_EQ(times(microphoneFile()->appended()), std::vector<double>{1});
    EXPECT_EQ(times(inlineAudio()->appended()), std::vector<double>{1});
    // A system-audio sample without a system-audio input reaches no file.
    h.deliverDirect(audio(2), StreamOutputType::audio);
    EXPECT_EQ(inlineAudio()->offered().size(), 1u);
    EXPECT_FALSE(h.recorder().state().firstSystemAudioSampleTime.has_value());
}

TEST_F(Timeline, InputsThatAreNotReadyLoseTheBufferAndKeepTheirFirstTimeUnset) {
    startWith(allAudio);
    h.deliver(frame(0));
    systemFile()->ready = false;
    h.deliver(audio(1), StreamOutputType::audio);
    EXPECT_TRUE(systemFile()->offered().empty());
    EXPECT_FALSE(h.recorder().state().firstSystemAudioSampleTime.has_value());
    // The inline track is still tried for the same sample.
    EXPECT_EQ(times(inlineAudio()->appended()), std::vector<double>{1});

    video()->ready = false;
    h.deliver(frame(2));
    EXPECT_EQ(h.recorder().state().timeline.frameCount, 1);
    EXPECT_EQ(h.recorder().state().lastSampleBuffer->presentationTimeStamp(), host(0));
}

TEST_F(Timeline, RejectedAppendsStillAdvanceTheBookkeeping) {
    startWith(allAudio);
    h.deliver(frame(0));
    video()->accepts = false;
    inlineAudio()->accepts = false;
    h.deliver(frame(1, FrameStatus::complete, MediaTime::make(1, 30)));
    h.deliver(audio(1.5), StreamOutputType::audio);
    const auto state = h.recorder().state();
    EXPECT_EQ(state.timeline.frameCount, 2);
    EXPECT_EQ(state.timeline.lastVideoPresentationTime, seconds(1));
    EXPECT_EQ(state.timeline.lastVideoDuration, MediaTime::make(1, 30));
    // Only a successful inline append moves the inline audio's end.
    EXPECT_FALSE(state.lastInlineAudioPresentationTime.isValid());
    EXPECT_EQ(state.firstInlineAudioSampleTime, seconds(1.5));
}

TEST_F(Timeline, PauseFoldCutsFromThePauseToTheFirstSampleAfterResume) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    h.deliver(frame(0));
    h.deliver(frame(9.9));
    h.clock->set(host(10.0));
    h.recorder().pause();
    h.deliver(frame(12.0));  // dropped while paused
    h.clock->set(host(14.0));
    h.recorder().resume();
    EXPECT_TRUE(h.recorder().state().timeline.pendingResumeAdjustment);
    h.deliver(frame(14.02));
    h.deliver(frame(15.02));

    const auto state = h.recorder().state();
    EXPECT_EQ(state.timeline.accumulatedPausedDuration, seconds(4.02));
    EXPECT_FALSE(state.timeline.pendingResumeAdjustment);
    EXPECT_FALSE(state.timeline.pauseStartedHostTime.has_value());
    // The first sample after the resume sits where a sample at the pause would have.
    EXPECT_EQ(times(video()->appended()), (std::vector<double>{0, 9.9, 10.0, 11.0}));
}

TEST_F(Timeline, PauseTwiceKeepsTheFirstStartAndResumeAloneDoesNothing) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    h.deliver(frame(0));
    h.recorder().resume();
    EXPECT_FALSE(h.recorder().state().timeline.pendingResumeAdjustment);
    h.clock->set(host(5));
    h.recorder().pause();
    h.clock->set(host(6));
    h.recorder().pause();
    EXPECT_EQ(h.recorder().state().timeline.pauseStartedHostTime, host(5));
    h.recorder().resume();
    h.deliver(frame(8));
    EXPECT_EQ(h.recorder().state().timeline.accumulatedPausedDuration, seconds(3));
    EXPECT_EQ(times(video()->appended()), (std::vector<double>{0, 5}));
}

TEST_F(Timeline, NothingHappensBeforeTheSessionOrWhenNotRecording) {
    RecorderHarness idle;
    idle.recorder().pause();
    EXPECT_FALSE(idle.recorder().state().isPaused);
    idle.recorder().didOutputSampleBuffer(frame(1), StreamOutputType::screen);
    EXPECT_EQ(idle.recorder().state().timeline.firstSampleTime, MediaTime::zero());
}

TEST_F(Timeline, StreamErrorsAreReportedAndRecordingGoesOn) {
    startWith(R"({"outputPath":"/out/v.mp4"})");
    CapturedOutput output;
    h.recorder().didStopWithError("The display was disconnected");
    EXPECT_EQ(output.err(), "Error: The display was disconnected\n");
    EXPECT_TRUE(h.recorder().state().isRecording);
}

}  // namespace
}  // namespace kelvane::recorder::test
