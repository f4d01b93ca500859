#include "recorder/capture_config.h"

#include <gtest/gtest.h>

namespace kelvane::recorder {
namespace {

TEST(CaptureConfig, EmptyObjectIsACompleteConfiguration) {
    const CaptureConfig config = decodeCaptureConfig("{}");
    EXPECT_FALSE(config.fps || config.displayId || config.windowId || config.outputPath || config.capturesSystemAudio ||
                 config.capturesMicrophone || config.systemAudioOutputPath || config.microphoneDeviceId ||
                 config.microphoneLabel || config.microphoneOutputPath);
}

TEST(CaptureConfig, ReadsEveryKeyAndIgnoresUnknownOnes) {
    const CaptureConfig config = decodeCaptureConfig(
        R"({"fps":120,"displayId":3,"windowId":4294967295,"outputPath":"/m/a.mov","capturesSystemAudio":true,)"
        R"("capturesMicrophone":false,"systemAudioOutputPath":"s.m4a","microphoneDeviceId":"dev",)"
        R"("microphoneLabel":"Mic \u00e9","microphoneOutputPath":"m.m4a","colour":"blue","nested":{"a":[1]}})");
    EXPECT_EQ(config.fps, 120);
    EXPECT_EQ(config.displayId, 3u);
    EXPECT_EQ(config.windowId, 4294967295u);
    EXPECT_EQ(config.outputPath, "/m/a.mov");
    EXPECT_EQ(config.capturesSystemAudio, true);
    EXPECT_EQ(config.capturesMicrophone, false);
    EXPECT_EQ(config.systemAudioOutputPath, "s.m4a");
    EXPECT_EQ(config.microphoneDeviceId, "dev");
    EXPECT_EQ(config.microphoneLabel, "Mic \xC3\xA9");
    EXPECT_EQ(config.microphoneOutputPath, "m.m4a");
}

TEST(CaptureConfig, NullCountsAsAbsent) {
    const CaptureConfig config = decodeCaptureConfig(R"({"windowId":null,"fps":null,"outputPath":null})");
    EXPECT_FALSE(config.windowId.has_value());
    EXPECT_FALSE(config.fps.has_value());
    EXPECT_FALSE(config.outputPath.has_value());
}

TEST(CaptureConfig, RefusesWhatIsNotAnObjectOrHasWrongTypes) {
    for (const char* text : {"", "not json", "[]", "42", "\"{}\"", "{\"fps\":", "{} trailing", "{\"fps\":48e600}"}) {
        EXPECT_THROW(decodeCaptureConfig(text), CaptureConfigError) << text;
    }
    for (const char* text : {R"({"fps":"60"})", R"({"fps":60.5})", R"({"displayId":true})",
                             R"({"outputPath":5})", R"({"capturesSystemAudio":"yes"})", R"({"capturesMicrophone":1})",
                             R"({"microphoneLabel":["a"]})"}) {
        EXPECT_THROW(decodeCaptureConfig(text), CaptureConfigError) << text;
    }
}

TEST(CaptureConfig, IntegersMustFitTheirField) {
    EXPECT_THROW(decodeCaptureConfig(R"({"windowId":-1})"), CaptureConfigError);
    EXPECT_THROW(decodeCaptureConfig(R"({"windowId":4294967296})"), CaptureConfigError);
    EXPECT_THROW(decodeCaptureConfig(R"({"displayId":-5})"), CaptureConfigError);
    EXPECT_THROW(decodeCaptureConfig(R"({"fps":9223372036854775808})"), CaptureConfigError);
    EXPECT_EQ(decodeCaptureConfig(R"({"fps":-9223372036854775808})").fps, INT64_MIN);
    EXPECT_EQ(decodeCaptureConfig(R"({"fps":9223372036854775807})").fps, INT64_MAX);
}

TEST(CaptureConfig, WholeNumbersWrittenWithAFractionOrExponentAreIntegers) {
    EXPECT_EQ(decodeCaptureConfig(R"({"fps":60.0})").fps, 60);
    EXPECT_EQ(decodeCaptureConfig(R"({"fps":-0.0})").fps, 0);
    EXPECT_EQ(decodeCaptureConfig(R"({"fps":-9.223372036854775808e18})").fps, INT64_MIN);
    EXPECT_EQ(decodeCaptureConfig(R"({"windowId":1e3})").windowId, 1000u);
    EXPECT_EQ(decodeCaptureConfig(R"({"displayId":4294967295.0})").displayId, 4294967295u);
    for (const char* text : {R"({"windowId":4294967296.0})", R"({"displayId":-1.0})",
                             R"({"fps":9.2233720368547758e18})", R"({"windowId":1.5e0})", R"({"fps":1e-3})"}) {
        EXPECT_THROW(decodeCaptureConfig(text), CaptureConfigError) << text;
    }
    // A fraction is refused with the same words as any other value that is not an integer.
    try {
        decodeCaptureConfig(R"({"fps":60.5})");
        FAIL() << "60.5 frames per second was accepted";
    } catch (const CaptureConfigError& error) {
        EXPECT_STREQ(error.what(), R"(The value of "fps" is number, expected an integer.)");
    }
}

TEST(CaptureConfig, ErrorsDescribeTheProblem) {
    try {
        decodeCaptureConfig(R"({"windowId":"12"})");
        FAIL() << "a string window number was accepted";
    } catch (const CaptureConfigError& error) {
        EXPECT_NE(std::string(error.what()).find("windowId"), std::string::npos) << error.what();
    }
}

}  // namespace
}  // namespace kelvane::recorder
