// Microphone choice, output file names and containers.
#include <gtest/gtest.h>

#include "recorder/microphone_resolution.h"
#include "recorder/output_files.h"

namespace kelvane::recorder {
namespace {

using platform::AudioInputDevice;

const std::vector<AudioInputDevice> devices = {
    {"Built-in Microphone", "builtin-1"},
    {"USB Mic", "usb-7"},
    {"USB Mic", "usb-8"},
    {"Caf\xC3\xA9 Mic", "cafe-1"},
};

std::optional<std::string> resolve(std::optional<std::string> label, std::optional<std::string> id) {
    CaptureConfig config;
    config.microphoneLabel = std::move(label);
    config.microphoneDeviceId = std::move(id);
    return resolveMicrophoneCaptureDeviceID(config, devices);
}

TEST(MicrophoneResolution, NameWinsOverIdentifierAndFirstOfEqualNamesWins) {
    EXPECT_EQ(resolve("USB Mic", "builtin-1"), "usb-7");
    EXPECT_EQ(resolve("Built-in Microphone\n", std::nullopt), "builtin-1");
    // Precomposed é in the list, e + combining acute in the request.
    EXPECT_EQ(resolve("Cafe\xCC\x81 Mic", std::nullopt), "cafe-1");
}

TEST(MicrophoneResolution, FallsBackToAPresentIdentifierOrNone) {
    EXPECT_EQ(resolve("usb mic", "usb-8"), "usb-8");
    EXPECT_EQ(resolve(std::nullopt, "  usb-8\t"), "usb-8");
    EXPECT_EQ(resolve(std::nullopt, "unplugged-3"), std::nullopt);
    EXPECT_EQ(resolve("usb mic", std::nullopt), std::nullopt);
    EXPECT_EQ(resolve(std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(resolve("  ", "\n"), std::nullopt);
    EXPECT_EQ(resolve(std::nullopt, "USB-7"), std::nullopt);
}

TEST(OutputFiles, GeneratedNameDropsTheFractionOfTheSecond) {
    EXPECT_EQ(mainOutputPath("", 1'700'000'000.75, "/home/u"), "/home/u/output_1700000000.mp4");
    EXPECT_EQ(mainOutputPath("", 1'700'000'000.9999, "/"), "/output_1700000000.mp4");
    EXPECT_EQ(mainOutputPath("rel/movie.mov", 5.5, "/home/u"), "/home/u/rel/movie.mov");
}

TEST(OutputFiles, RelativePathsResolveAgainstTheWorkingDirectory) {
    EXPECT_EQ(absolutePath("a.mp4", "/tmp/x"), "/tmp/x/a.mp4");
    EXPECT_EQ(absolutePath("./sub/./a.m4a", "/tmp/x"), "/tmp/x/sub/a.m4a");
    EXPECT_EQ(absolutePath("../a.mp4", "/tmp/x"), "/tmp/x/../a.mp4");
    EXPECT_EQ(absolutePath("a.mp4", "/"), "/a.mp4");
    EXPECT_EQ(absolutePath("/abs/./a.mp4", "/tmp/x"), "/abs/./a.mp4");
    EXPECT_EQ(absolutePath("", "/tmp/x"), "");
}

TEST(OutputFiles, ContainerFollowsTheExtension) {
    using platform::MediaFileType;
    EXPECT_EQ(mainFileType("/a/b.mp4"), MediaFileType::mpeg4);
    EXPECT_EQ(mainFileType("/a/b.MP4"), MediaFileType::mpeg4);
    EXPECT_EQ(mainFileType("/a/b.Mp4"), MediaFileType::mpeg4);
    EXPECT_EQ(mainFileType("/a/b.mov"), MediaFileType::quickTimeMovie);
    EXPECT_EQ(mainFileType("/a/b"), MediaFileType::quickTimeMovie);
    EXPECT_EQ(mainFileType("/a.mp4/b"), MediaFileType::quickTimeMovie);
    EXPECT_EQ(mainFileType("/a/b.mp4.txt"), MediaFileType::quickTimeMovie);
}

}  // namespace
}  // namespace kelvane::recorder
