// The timeline on its own: where samples land, what a pause removes, and where the
// recording ends.
#include "recorder/recording_timeline.h"

#include "recorder/tests/recorder_harness.h"

namespace kelvane::recorder::test {
namespace {

struct Step {
    enum Kind { screen, audio, untimed, pause, resume } kind;
    double at = 0;
    // Where a sample lands, in seconds; nothing when it is not placed.
    std::optional<double> placed = std::nullopt;
};

struct TimelineCase {
    const char* name;
    std::vector<Step> steps;
    double pausedSeconds;
};

TEST(RecordingTimeline, SamplesLandAfterTheOriginWithPausedTimeCutOut) {
    using S = Step;
    const std::vector<TimelineCase> cases = {
        {"the first screen sample is the origin; earlier stamps clamp to zero",
         {{S::audio, 9.0}, {S::screen, 10.0, 0.0}, {S::audio, 9.98, 0.0}, {S::audio, 10.25, 0.25}},
         0},
        {"a pause is cut from its start to the first sample after the resume",
         {{S::screen, 0, 0.0},
          {S::screen, 9.9, 9.9},
          {S::pause, 10.0},
          {S::resume},
          {S::screen, 14.02, 10.0},
          {S::screen, 15.02, 11.0}},
         4.02},
        {"pause, resume and pause again cut only from the second pause",
         {{S::screen, 0, 0.0}, {S::pause, 2}, {S::resume}, {S::pause, 3}, {S::resume}, {S::screen, 7, 3.0}},
         4},
        {"a pause before the first screen sample removes nothing",
         {{S::pause, 1},
          {S::resume},
          {S::audio, 1.5},
          {S::screen, 2, 0.0},
          {S::screen, 2.5, 0.5},
          {S::screen, 2.9, 0.9},
          {S::audio, 3.0, 1.0},
          {S::screen, 3.5, 1.5}},
         0},
        {"a sample without a time is not placed and leaves the fold to the next one",
         {{S::screen, 0, 0.0}, {S::pause, 1}, {S::resume}, {S::untimed}, {S::screen, 3, 1.0}},
         2},
        {"a sample stamped before the pause it follows folds nothing",
         {{S::screen, 0, 0.0}, {S::pause, 5}, {S::resume}, {S::audio, 4, 4.0}, {S::screen, 6, 6.0}},
         0},
        {"several pauses add up",
         {{S::screen, 0, 0.0}, {S::pause, 1}, {S::resume}, {S::screen, 2, 1.0}, {S::pause, 3}, {S::resume},
          {S::audio, 5, 2.0}},
         3},
    };
    for (const auto& c : cases) {
        RecordingTimeline timeline;
        for (const auto& step : c.steps) {
            switch (step.kind) {
                case Step::pause:
                    timeline.pause(host(step.at));
                    break;
                case Step::resume:
                    timeline.resume();
                    break;
                default: {
                    const MediaTime stamp = step.kind == Step::untimed ? MediaTime::invalid() : host(step.at);
                    const auto expected = step.placed ? std::optional(seconds(*step.placed)) : std::nullopt;
                    EXPECT_EQ(timeline.place(stamp, step.kind == Step::screen), expected) << c.name << " at " << step.at;
                }
            }
        }
        EXPECT_EQ(timeline.accumulatedPausedDuration, seconds(c.pausedSeconds)) << c.name;
        EXPECT_FALSE(timeline.pendingResumeAdjustment) << c.name;
    }
}

TEST(RecordingTimeline, VideoTimesOnlyRiseAndTheLastFrameLendsItsDuration) {
    RecordingTimeline timeline;
    const MediaTime fallback = MediaTime::make(1, 60);
    EXPECT_TRUE(timeline.risesAfterLastFrame(MediaTime::zero()));  // the first frame may sit at zero
    EXPECT_EQ(timeline.frameDuration(MediaTime::invalid(), fallback), fallback);

    timeline.recordFrame(seconds(1), MediaTime::make(1, 30));
    EXPECT_FALSE(timeline.risesAfterLastFrame(seconds(1)));
    EXPECT_FALSE(timeline.risesAfterLastFrame(seconds(0.5)));
    EXPECT_TRUE(timeline.risesAfterLastFrame(seconds(1.001)));
    EXPECT_EQ(timeline.frameCount, 1);
    EXPECT_EQ(timeline.frameDuration(MediaTime::make(1, 24), fallback), MediaTime::make(1, 24));
    EXPECT_EQ(timeline.frameDuration(MediaTime::zero(), fallback), MediaTime::make(1, 30));
    EXPECT_EQ(timeline.frameDuration(MediaTime::invalid(), fallback), MediaTime::make(1, 30));
}

TEST(RecordingTimeline, EndIsTheStopOrAPauseStillInEffectLessThePausedTime) {
    RecordingTimeline timeline;
    EXPECT_FALSE(timeline.end(host(5)).has_value());  // no origin, no end

    timeline.place(host(1), true);
    EXPECT_EQ(timeline.end(host(5)), seconds(4));
    EXPECT_EQ(timeline.end(host(0.5)), MediaTime::zero());  // a stop stamped before the origin

    timeline.pause(host(2));
    timeline.resume();
    timeline.place(host(4), false);
    EXPECT_EQ(timeline.end(host(10)), seconds(7));
    timeline.pause(host(6));
    EXPECT_EQ(timeline.end(host(10)), seconds(3));
}

}  // namespace
}  // namespace kelvane::recorder::test
