// The capture start: what is captured, at which size and rate, with which writers, and
// every way it can fail.
#include "recorder/tests/recorder_harness.h"

namespace kelvane::recorder::test {
namespace {

using platform::MediaFileType;
using platform::MediaType;

TEST(RecorderStart, EmptyConfigurationRecordsTheMainDisplayAt60WithAGeneratedMp4) {
    RecorderHarness h;
    CapturedOutput output;
    h.start("{}");
    EXPECT_EQ(output.out(), "Recording started\n");
    EXPECT_EQ(output.err(), "");

    const auto stream = h.stream();
    const auto& config = stream->configuration;
    EXPECT_TRUE(std::holds_alternative<platform::DisplayContentFilter>(stream->filter));
    EXPECT_EQ(std::get<platform::DisplayContentFilter>(stream->filter).display.displayID, 1u);
    EXPECT_EQ(config.width, 2880u);
    EXPECT_EQ(config.height, 1800u);
    EXPECT_EQ(config.minimumFrameInterval, MediaTime::make(1, 60));
    EXPECT_EQ(config.queueDepth, 6);
    EXPECT_EQ(config.pixelFormat, 0x42475241u);
    EXPECT_FALSE(config.showsCursor);
    EXPECT_FALSE(config.capturesAudio);
    EXPECT_TRUE(config.excludesCurrentProcessAudio);
    EXPECT_EQ(config.sampleRate, 48000);
    EXPECT_EQ(config.channelCount, 2);
    EXPECT_FALSE(config.ignoreShadowsSingleWindow);
    EXPECT_EQ(stream->outputTypes(), std::vector<StreamOutputType>{StreamOutputType::screen});
    EXPECT_TRUE(stream->started());

    // Whole seconds of 1700000000.75, the fraction dropped.
    const auto writer = h.writers->writer("/home/user/Movies/output_1700000000.mp4");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->fileType(), MediaFileType::mpeg4);
    EXPECT_EQ(writer->sessionStart(), MediaTime::zero());
    ASSERT_EQ(writer->inputs().size(), 1u);
    const auto& video = std::get<platform::VideoOutputSettings>(writer->inputs()[0]->settings);
    EXPECT_EQ(video.width, 2880);
    EXPECT_EQ(video.height, 1800);
    EXPECT_EQ(video.averageBitRate, 12'000'000);
    EXPECT_TRUE(writer->expectsRealTime);

    const auto state = h.recorder().state();
    EXPECT_TRUE(state.isRecording && state.sessionStarted);
    EXPECT_FALSE(state.trackedWindowId.has_value());
    EXPECT_FALSE(state.windowValidationTask);
}

TEST(RecorderStart, FrameRateIsAtLeast60AndHugeRatesAreClamped) {
    const std::vector<std::pair<std::string, MediaTime>> cases = {
        {"{}", MediaTime::make(1, 60)},
        {R"({"fps":0})", MediaTime::make(1, 60)},
        {R"({"fps":-30})", MediaTime::make(1, 60)},
        {R"({"fps":30})", MediaTime::make(1, 60)},
        {R"({"fps":60})", MediaTime::make(1, 60)},
        {R"({"fps":120})", MediaTime::make(1, 120)},
        {R"({"fps":9223372036854775807})", MediaTime::make(1, 2147483647)},
    };
    for (const auto& [json, interval] : cases) {
        RecorderHarness h;
        CapturedOutput quiet;
        h.start(json);
        EXPECT_EQ(h.stream()->configuration.minimumFrameInterval, interval) << json;
        EXPECT_TRUE(h.stream()->configuration.minimumFrameInterval.isValid()) << json;
    }
}

TEST(RecorderStart, WindowWinsOverDisplayAndTakesTheScaleOfTheFirstDisplayItTouches) {
    RecorderHarness h;
    platform::ShareableContentSnapshot snapshot;
    snapshot.displays = {platform::ShareableDisplay{7, {0, 0, 1000, 800}, 1000, 800},
                         platform::ShareableDisplay{8, {1000, 0, 1000, 800}, 3000, 2400}};
    snapshot.mainDisplayID = 7;
    platform::ShareableWindow straddling;
    straddling.windowID = 42;
    straddling.frame = {1500, 100, 300.7, 200.2};
    platform::ShareableWindow tiny;
    tiny.windowID = 43;
    tiny.frame = {1200, 10, 0.5, 0.5};
    platform::ShareableWindow offscreen;
    offscreen.windowID = 44;
    offscreen.frame = {5000, 5000, 100, 50};
    snapshot.windows = {straddling, tiny, offscreen};
    h.content->setAnswer(snapshot);
    h.displays->mainDisplay = 7;
    h.displays->modes[7] = {1000, 800, 1000, 800};
    h.displays->modes[8] = {3000, 2400, 1000, 800};

    CapturedOutput quiet;
    h.start(R"({"windowId":42,"displayId":7,"outputPath":"/out/w.mov"})");
    const auto stream = h.stream();
    ASSERT_TRUE(std::holds_alternative<platform::WindowContentFilter>(stream->filter));
    EXPECT_EQ(std::get<platform::WindowContentFilter>(stream->filter).window.windowID, 42u);
    EXPECT_EQ(stream->configuration.width, 902u);  // 300.7 points x 3, whole part
    EXPECT_EQ(stream->configuration.height, 600u);
    EXPECT_TRUE(stream->configuration.ignoreShadowsSingleWindow);
    // Window recordings ask about off-screen windows too.
    EXPECT_FALSE(h.content->queries().at(0).onScreenWindowsOnly);
    EXPECT_FALSE(h.content->queries().at(0).excludingDesktopWindows);
    EXPECT_EQ(h.recorder().state().trackedWindowId, 42u);
    EXPECT_EQ(h.writers->writer("/out/w.mov")->fileType(), MediaFileType::quickTimeMovie);
    EXPECT_EQ(h.stop().path, "/out/w.mov");

    // A 1x1 point window records at 2x2; one on no display takes the main display's scale.
    h.start(R"({"windowId":43,"outputPath":"/out/tiny.mp4"})");
    EXPECT_EQ(h.stream()->configuration.width, 2u);
    EXPECT_EQ(h.stream()->configuration.height, 2u);
    h.stop();
    h.displays->modes[7] = {2000, 1600, 1000, 800};
    h.start(R"({"windowId":44,"outputPath":"/out/away.mp4"})");
    EXPECT_EQ(h.stream()->configuration.width, 200u);
    EXPECT_EQ(h.stream()->configuration.height, 100u);
}

TEST(RecorderStart, DisplayScaleFallsBackToOne) {
    RecorderHarness h;
    h.displays->modes.clear();  // the mode cannot be read
    CapturedOutput quiet;
    h.start(R"({"displayId":1,"outputPath":"/out/a.mp4"})");
    EXPECT_EQ(h.stream()->configuration.width, 1440u);
    h.stop();
    h.displays->modes[1] = {2160, 1350, 1440, 900};  // 1.5 pixels per point
    h.start(R"({"outputPath":"/out/b.mp4"})");
    EXPECT_EQ(h.stream()->configuration.width, 1440u);
    EXPECT_TRUE(h.content->queries().back().onScreenWindowsOnly);
}

struct ErrorCase {
    std::string name;
    std::string json;
    std::function<void(RecorderHarness&)> arrange;
    int code;
    std::string message;
};

TEST(RecorderStart, EveryFailureCarriesItsCodeAndMessage) {
    const std::vector<ErrorCase> cases = {
        {"not UTF-8", "{\"outputPath\":\"\xFF\"}", nullptr, 2, "Invalid JSON input"},
        {"unknown window", R"({"windowId":99})", nullptr, 3, "Window not found"},
        {"unknown display", R"({"displayId":99})", nullptr, 4, "Display not found"},
        {"no assistant", "{}", [](RecorderHarness& h) { h.assistantExists = false; }, 5,
         "Unable to create output settings assistant"},
        {"no settings", "{}", [](RecorderHarness& h) { h.assistantHasSettings = false; }, 6,
         "Output settings unavailable"},
        {"video input refused", "{}",
         [](RecorderHarness& h) { h.writers->configure = [](testing::FakeMediaWriter& w) { w.refuseInputs = true; }; },
         7, "Unable to add video writer input"},
        {"main writer does not start", "{}",
         [](RecorderHarness& h) { h.writers->configure = [](testing::FakeMediaWriter& w) { w.startSucceeds = false; }; },
         8, "Unable to start video writing"},
        {"main writer does not start, with a reason", "{}",
         [](RecorderHarness& h) {
             h.writers->configure = [](testing::FakeMediaWriter& w) {
                 w.startSucceeds = false;
                 w.errorText = "Cannot open file";
             };
         },
         8, "Cannot open file"},
        {"no system audio path", R"({"capturesSystemAudio":true})", nullptr, 11,
         "Missing system audio output path for audio capture"},
        {"system audio input refused", R"({"capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a"})",
         [](RecorderHarness& h) {
             h.writers->configure = [](testing::FakeMediaWriter& w) { w.refuseInputs = w.path() == "/out/s.m4a"; };
         },
         12, "Unable to add system audio writer input"},
        {"system audio writer does not start", R"({"capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a"})",
         [](RecorderHarness& h) {
             h.writers->configure = [](testing::FakeMediaWriter& w) { w.startSucceeds = w.path() != "/out/s.m4a"; };
         },
         13, "Unable to start system audio writing"},
        {"empty microphone path", R"({"capturesMicrophone":true,"microphoneOutputPath":""})", nullptr, 14,
         "Missing microphone output path for microphone capture"},
        {"microphone input refused", R"({"capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})",
         [](RecorderHarness& h) {
             h.writers->configure = [](testing::FakeMediaWriter& w) { w.refuseInputs = w.path() == "/out/m.m4a"; };
         },
         15, "Unable to add microphone writer input"},
        {"microphone writer does not start", R"({"capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})",
         [](RecorderHarness& h) {
             h.writers->configure = [](testing::FakeMediaWriter& w) {
                 if (w.path() == "/out/m.m4a") {
                     w.startSucceeds = false;
                     w.errorText = "Microphone file locked";
                 }
             };
         },
         16, "Microphone file locked"},
        {"microphone writer does not start, with an empty reason",
         R"({"capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})",
         [](RecorderHarness& h) {
             h.writers->configure = [](testing::FakeMediaWriter& w) {
                 w.startSucceeds = w.path() != "/out/m.m4a";
                 if (!w.startSucceeds) w.errorText = "";
             };
         },
         16, "Unable to start microphone audio writing"},
    };
    for (const auto& c : cases) {
        RecorderHarness h;
        if (c.arrange) c.arrange(h);
        CapturedOutput output;
        const auto error = h.startError(c.json);
        ASSERT_TRUE(error.has_value()) << c.name;
        EXPECT_EQ(error->code(), c.code) << c.name;
        EXPECT_EQ(std::string(error->what()), c.message) << c.name;
        EXPECT_STREQ(error->domain(), "KelvaneCapture");
        EXPECT_FALSE(h.recorder().state().isRecording) << c.name;
        EXPECT_EQ(output.out(), "") << c.name;
    }
}

TEST(RecorderStart, ASecondStartIsRefusedAndChangesNothing) {
    RecorderHarness h;
    CapturedOutput quiet;
    h.start(R"({"outputPath":"/out/one.mp4"})");
    const auto error = h.startError(R"({"outputPath":"/out/two.mp4","capturesSystemAudio":true})");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), 1);
    EXPECT_EQ(std::string(error->what()), "Recording is already in progress");
    EXPECT_EQ(h.recorder().state().outputURL, "/out/one.mp4");
    EXPECT_FALSE(h.recorder().state().capturesSystemAudio);
    EXPECT_EQ(h.writers->count(), 1u);
}

TEST(RecorderStart, PlatformFailuresPassThroughUnchanged) {
    auto startFailure = [](std::function<void(RecorderHarness&)> arrange, const std::string& json = "{}") {
        RecorderHarness h;
        arrange(h);
        auto done = h.startAsync(json);
        try {
            done.get();
        } catch (const std::exception& error) {
            return std::string(error.what());
        }
        return std::string("(started)");
    };
    EXPECT_EQ(startFailure([](RecorderHarness& h) { h.content->setAnswer(platform::ShareableContentError{"No display"}); }),
              "No display");
    EXPECT_EQ(startFailure([](RecorderHarness& h) { h.streams->nextStartError = "Capture refused"; }), "Capture refused");
    EXPECT_EQ(startFailure([](RecorderHarness& h) { h.streams->nextAddOutputError = "Output rejected"; }),
              "Output rejected");
    EXPECT_EQ(startFailure([](RecorderHarness& h) { h.writers->creationErrors["/out/x.mp4"] = "File exists: /out/x.mp4"; },
                           R"({"outputPath":"/out/x.mp4"})"),
              "File exists: /out/x.mp4");
    const std::string decoderError = startFailure([](RecorderHarness&) {}, R"({"fps":"sixty"})");
    EXPECT_NE(decoderError.find("fps"), std::string::npos) << decoderError;
}

struct FlagCase {
    std::string json;
    std::vector<StreamOutputType> outputs;
    bool inlineAudio;
    std::vector<std::string> separateFiles;
};

TEST(RecorderStart, EachCaptureFlagCombinationCreatesItsOutputsAndWriters) {
    const std::vector<FlagCase> cases = {
        {R"({"outputPath":"/out/v.mp4"})", {StreamOutputType::screen}, false, {}},
        {R"({"outputPath":"/out/v.mp4","capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a"})",
         {StreamOutputType::screen, StreamOutputType::audio}, true, {"/out/s.m4a"}},
        {R"({"outputPath":"/out/v.mp4","capturesMicrophone":true,"microphoneOutputPath":"/out/m.aac"})",
         {StreamOutputType::screen, StreamOutputType::microphone}, true, {"/out/m.aac"}},
        {R"({"outputPath":"/out/v.mp4","capturesSystemAudio":true,"systemAudioOutputPath":"/out/s.m4a",)"
         R"("capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a"})",
         {StreamOutputType::screen, StreamOutputType::audio, StreamOutputType::microphone}, true,
         {"/out/s.m4a", "/out/m.m4a"}},
    };
    for (const auto& c : cases) {
        RecorderHarness h;
        CapturedOutput quiet;
        h.start(c.json);
        EXPECT_EQ(h.stream()->outputTypes(), c.outputs) << c.json;
        EXPECT_EQ(h.stream()->configuration.capturesAudio, c.inlineAudio) << c.json;
        const auto main = h.writers->writer("/out/v.mp4");
        const auto inlineInput = main->input(MediaType::audio);
        EXPECT_EQ(inlineInput != nullptr, c.inlineAudio) << c.json;
        if (inlineInput) {
            EXPECT_EQ(inlineInput->bitRate(), 192000);
            const auto& settings = std::get<platform::AudioOutputSettings>(inlineInput->settings);
            EXPECT_EQ(settings.formatId, 0x61616320u);
            EXPECT_EQ(settings.sampleRate, 48000);
            EXPECT_EQ(settings.channels, 2);
        }
        EXPECT_EQ(h.writers->count(), 1 + c.separateFiles.size()) << c.json;
        for (const auto& path : c.separateFiles) {
            const auto writer = h.writers->writer(path);
            ASSERT_NE(writer, nullptr) << path;
            // Separate files are M4A whatever their extension, and already writing.
            EXPECT_EQ(writer->fileType(), MediaFileType::appleM4A);
            EXPECT_EQ(writer->sessionStart(), MediaTime::zero());
            EXPECT_EQ(writer->status(), platform::MediaWriterStatus::writing);
            EXPECT_EQ(writer->input(MediaType::audio)->bitRate(), path == "/out/s.m4a" ? 160000 : 128000);
        }
        EXPECT_EQ(h.recorder().state().microphoneOutputURL.has_value(), c.json.find("capturesMicrophone") != std::string::npos);
    }
}

TEST(RecorderStart, MicrophoneUnavailableIsAWarningAndNeedsNoMicrophonePath) {
    RecorderHarness h;
    h.streams->microphoneSupported = false;
    CapturedOutput output;
    h.start(R"({"outputPath":"/out/v.mp4","capturesMicrophone":true,"capturesSystemAudio":true,)"
            R"("systemAudioOutputPath":"/out/s.m4a"})");
    EXPECT_EQ(output.err(), "MICROPHONE_CAPTURE_UNAVAILABLE\n");
    EXPECT_EQ(output.out(), "Recording started\n");
    EXPECT_EQ(h.stream()->outputTypes(), (std::vector<StreamOutputType>{StreamOutputType::screen, StreamOutputType::audio}));
    EXPECT_FALSE(h.stream()->configuration.captureMicrophone);
    const auto state = h.recorder().state();
    EXPECT_FALSE(state.capturesMicrophone);
    EXPECT_FALSE(state.writesMicrophoneToSeparateTrack);
    EXPECT_FALSE(state.outputs.microphoneOnly.writer);
}

TEST(RecorderStart, ChosenMicrophoneReachesTheStreamConfiguration) {
    RecorderHarness h;
    h.microphones->devices = {{"Desk Mic", "desk-1"}, {"Headset", "head-2"}};
    CapturedOutput quiet;
    h.start(R"({"capturesMicrophone":true,"microphoneOutputPath":"/out/m.m4a","microphoneLabel":"Headset"})");
    EXPECT_TRUE(h.stream()->configuration.captureMicrophone);
    EXPECT_EQ(h.stream()->configuration.microphoneCaptureDeviceID, "head-2");
    h.stop();
    h.start(R"({"capturesMicrophone":true,"microphoneOutputPath":"/out/m2.m4a","microphoneDeviceId":"gone"})");
    EXPECT_FALSE(h.stream()->configuration.microphoneCaptureDeviceID.has_value());
}

}  // namespace
}  // namespace kelvane::recorder::test
