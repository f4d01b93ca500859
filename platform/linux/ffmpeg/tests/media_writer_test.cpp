// Real files written through the media writer interface from synthetic frames and tones,
// checked with ffprobe and by decoding them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/ffmpeg/tests/media_probe.h"
#include "testing/child_process.h"
#include "platform/linux/ffmpeg/tests/synthetic_media.h"
#include "platform/media_writer.h"

namespace kelvane::platform::ffmpeg::testing {
namespace {

using kelvane::testing::shellOutput;
using kelvane::testing::shellQuoted;

constexpr double aacFrame = 1024.0 / 48000.0;

struct OpenWriter {
    std::unique_ptr<MediaWriter> writer;
    std::shared_ptr<MediaWriterInput> video;
    std::shared_ptr<MediaWriterInput> audio;
};

// Sets a writer up the way the recorder does: settings from the assistant, the capture's
// size written into them, session from zero.
OpenWriter openWriter(const std::string& path, MediaFileType type, int width, int height, std::int64_t audioBitRate) {
    OpenWriter open;
    open.writer = makeMediaWriter(path, type);
    if (width > 0) {
        auto assistant = makeOutputSettingsAssistant(OutputSettingsPreset::preset3840x2160);
        assistant->setSourceVideoFormat(makeVideoFormatDescription(VideoCodec::h264, width, height));
        auto settings = assistant->videoSettings();
        EXPECT_TRUE(settings.has_value());
        settings->width = width;
        settings->height = height;
        open.video = open.writer->makeInput(*settings, true);
        EXPECT_TRUE(open.writer->canAdd(*open.video));
        open.writer->add(open.video);
    }
    if (audioBitRate > 0) {
        open.audio = open.writer->makeInput(AudioOutputSettings{audioFormatMPEG4AAC, 48000, 2, audioBitRate}, true);
        EXPECT_TRUE(open.writer->canAdd(*open.audio));
        open.writer->add(open.audio);
    }
    EXPECT_TRUE(open.writer->startWriting()) << open.writer->error().value_or("");
    open.writer->startSession(MediaTime::zero());
    return open;
}

// Tests produce faster than real time: wait for room rather than lose buffers.
void appendPatiently(MediaWriterInput& input, const SampleBuffer& buffer) {
    for (int i = 0; i < 60000 && !input.isReadyForMoreMediaData(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(input.append(buffer));
}

void appendTone(MediaWriterInput& input, double from, double to) {
    const auto first = static_cast<std::int64_t>(std::llround(from * 48000));
    const auto last = static_cast<std::int64_t>(std::llround(to * 48000));
    for (std::int64_t sample = first; sample < last; sample += 480) {
        const int frames = static_cast<int>(std::min<std::int64_t>(480, last - sample));
        appendPatiently(input, toneSample(MediaTime::make(sample, 48000), frames, sample));
    }
}

void finish(OpenWriter& open) {
    if (open.video) open.video->markAsFinished();
    if (open.audio) open.audio->markAsFinished();
    ASSERT_TRUE(finishAndWait(*open.writer));
    EXPECT_EQ(open.writer->status(), MediaWriterStatus::completed) << open.writer->error().value_or("");
}

TEST(MediaWriter, WritesEachContainerWithH264AndAac) {
    ScratchFolder folder;
    struct Case {
        std::string name;
        MediaFileType type;
        int width, height;
        std::string brand;
    };
    // An odd capture size loses its last column and row: 4:2:0 H.264 has no odd sizes.
    const std::vector<Case> cases = {{"clip.mp4", MediaFileType::mpeg4, 320, 180, "isom"},
                                     {"clip.mov", MediaFileType::quickTimeMovie, 321, 181, "qt  "}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        OpenWriter open = openWriter(path, c.type, c.width, c.height, 192000);
        // A host that opened or watches the path keeps the same file to the end.
        struct stat whileRecording {};
        ASSERT_EQ(::stat(path.c_str(), &whileRecording), 0);
        for (int i = 0; i < 30; ++i)
            appendPatiently(*open.video, videoSample(c.width, c.height, i, MediaTime::make(i, 30)));
        appendTone(*open.audio, 0.0, 1.0);
        open.writer->endSession(MediaTime::make(1, 1));
        finish(open);
        struct stat finished {};
        ASSERT_EQ(::stat(path.c_str(), &finished), 0);
        EXPECT_EQ(finished.st_ino, whileRecording.st_ino);

        const auto probed = probe(path);
        EXPECT_EQ(probed.at("format").at("tags").value("major_brand", ""), c.brand);
        const auto video = streamOf(probed, "video");
        EXPECT_EQ(video.value("codec_name", ""), "h264");
        EXPECT_EQ(video.value("pix_fmt", ""), "yuv420p");
        EXPECT_EQ(video.value("profile", ""), "High");
        EXPECT_EQ(video.value("width", 0), 320);
        EXPECT_EQ(video.value("height", 0), 180);
        const auto audio = streamOf(probed, "audio");
        EXPECT_EQ(audio.value("codec_name", ""), "aac");
        EXPECT_EQ(audio.value("sample_rate", ""), "48000");
        EXPECT_EQ(audio.value("channels", 0), 2);
        // An ordinary indexed file, not the fragments written while recording.
        const auto boxes = topLevelBoxes(path);
        EXPECT_NE(std::find(boxes.begin(), boxes.end(), "moov"), boxes.end());
        EXPECT_EQ(std::find(boxes.begin(), boxes.end(), "moof"), boxes.end());
    }
    // Nothing but the two movies is left in the folder.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path())) ++entries;
    EXPECT_EQ(entries, cases.size());
}

TEST(MediaWriter, WritesM4aAtTheGivenBitRate) {
    ScratchFolder folder;
    // The extension does not choose the container.
    const std::string path = folder.file("system-audio.mp4");
    OpenWriter open = openWriter(path, MediaFileType::appleM4A, 0, 0, 160000);
    std::uint32_t noise = 12345;
    for (std::int64_t sample = 0; sample < 3 * 48000; sample += 480) {
        appendPatiently(*open.audio, audioSample(MediaTime::make(sample, 48000), 480, [&noise](int) {
            noise = noise * 1664525u + 1013904223u;
            return static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
        }));
    }
    finish(open);

    const auto probed = probe(path);
    EXPECT_EQ(probed.at("format").at("tags").value("major_brand", ""), "M4A ");
    EXPECT_EQ(probed.at("streams").size(), 1u);
    const auto audio = streamOf(probed, "audio");
    EXPECT_EQ(audio.value("codec_name", ""), "aac");
    EXPECT_EQ(audio.value("sample_rate", ""), "48000");
    EXPECT_EQ(audio.value("channels", 0), 2);
    EXPECT_NEAR(std::stod(audio.value("bit_rate", "0")), 160000, 160000 * 0.15);
    EXPECT_NEAR(numberField(audio, "duration"), 3.0, 1.0 / 48000);
}

TEST(MediaWriter, VariableFrameRateKeepsEveryFrameAtItsTime) {
    ScratchFolder folder;
    const std::string path = folder.file("vfr.mp4");
    OpenWriter open = openWriter(path, MediaFileType::mpeg4, 160, 90, 0);

    // 60 fps, then three seconds where frames come irregularly (idle frames are never
    // delivered), then 60 fps again up to 10 s.
    std::vector<MediaTime> times;
    for (int k = 0; k < 180; ++k) times.push_back(MediaTime::make(k, 60));
    for (const int ms : {3013, 3200, 3210, 3900, 4500, 4990, 5500, 5510, 5520}) times.push_back(MediaTime::make(ms, 1000));
    for (int k = 360; k < 600; ++k) times.push_back(MediaTime::make(k, 60));
    for (std::size_t i = 0; i < times.size(); ++i)
        appendPatiently(*open.video, videoSample(160, 90, static_cast<int>(i), times[i]));
    // What finishing does: the last frame again where it ends, and the session ends there.
    const MediaTime tail = times.back() + MediaTime::make(1, 60);
    appendPatiently(*open.video, videoSample(160, 90, 599, tail));
    open.writer->endSession(tail);
    finish(open);

    const auto probed = probe(path);
    EXPECT_NEAR(numberField(streamOf(probed, "video"), "duration"), 10.0, 1.0 / 60);
    EXPECT_NEAR(numberField(probed.at("format"), "duration"), 10.0, 1.0 / 60);

    const auto frames = probeFrames(path, "v:0").at("frames");
    ASSERT_EQ(frames.size(), times.size());
    double lastKey = -10;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const double at = numberField(frames[i], "pts_time");
        EXPECT_NEAR(at, times[i].seconds(), 0.0005) << "frame " << i;
        // Whatever the spacing of frames, the first frame 2 s or more after the last
        // keyframe is a keyframe.
        if (frames[i].value("key_frame", 0) == 1) {
            lastKey = at;
        } else {
            EXPECT_LT(at - lastKey, 2.0 - 1e-6) << "frame " << i << " should have been a keyframe";
        }
    }
}

struct EndCase {
    double audioUntil;
    double expectedEnd;
};

void PrintTo(const EndCase& c, std::ostream* out) {
    *out << "audio until " << c.audioUntil << " s, end " << c.expectedEnd << " s";
}

class EndSession : public ::testing::TestWithParam<EndCase> {};

// The finishing examples: last frame at 9.95 s lasting 1/60 s; inline audio that outlasts
// it by up to 2 s keeps the file going, longer audio is cut.
TEST_P(EndSession, EveryTrackEndsAtTheSessionEnd) {
    const EndCase c = GetParam();
    ScratchFolder folder;
    const std::string path = folder.file("end.mov");
    OpenWriter open = openWriter(path, MediaFileType::quickTimeMovie, 160, 90, 192000);
    for (int k = 0; k < 100; ++k) appendPatiently(*open.video, videoSample(160, 90, k, MediaTime::make(k, 10)));
    const MediaTime last = MediaTime::make(995, 100);
    appendPatiently(*open.video, videoSample(160, 90, 100, last));
    appendPatiently(*open.video, videoSample(160, 90, 100, last + MediaTime::make(1, 60)));
    appendTone(*open.audio, 0.0, c.audioUntil);
    open.writer->endSession(MediaTime::fromSeconds(c.expectedEnd, 600000));
    finish(open);

    const auto probed = probe(path);
    // To the sample, not only to the millisecond.
    constexpr double sample = 1.0 / 48000;
    EXPECT_NEAR(numberField(probed.at("format"), "duration"), c.expectedEnd, 2 * sample);
    EXPECT_NEAR(numberField(streamOf(probed, "audio"), "duration"), c.expectedEnd, 2 * sample);
    // The last picture stays until the end.
    EXPECT_NEAR(numberField(streamOf(probed, "video"), "duration"), c.expectedEnd, 2 * sample);
    const auto samples = decodeAudio(path);
    EXPECT_NEAR(static_cast<double>(samples.size()) / 48000.0, c.expectedEnd, aacFrame);
}

INSTANTIATE_TEST_SUITE_P(AudioOverhang, EndSession,
                         ::testing::Values(EndCase{10.5203, 10.5203}, EndCase{13.00, 9.95 + 1.0 / 60 + 2.0}),
                         [](const ::testing::TestParamInfo<EndCase>& testCase) {
                             return testCase.param.audioUntil == testCase.param.expectedEnd ? "AudioKept" : "AudioCut";
                         });

// Index of the loudest sample within `window` samples of `around`.
std::int64_t loudestNear(const std::vector<float>& samples, std::int64_t around, std::int64_t window) {
    std::int64_t best = -1;
    float loudest = 0;
    for (std::int64_t i = std::max<std::int64_t>(0, around - window);
         i < std::min<std::int64_t>(static_cast<std::int64_t>(samples.size()), around + window); ++i) {
        if (std::fabs(samples[static_cast<std::size_t>(i)]) > loudest) {
            loudest = std::fabs(samples[static_cast<std::size_t>(i)]);
            best = i;
        }
    }
    return best;
}

double loudness(const std::vector<float>& samples, double from, double to) {
    double sum = 0;
    const auto first = static_cast<std::size_t>(from * 48000);
    const auto last = std::min(samples.size(), static_cast<std::size_t>(to * 48000));
    for (std::size_t i = first; i < last; ++i) sum += samples[i] * samples[i];
    return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0;
}

TEST(MediaWriter, AudioStaysInSyncAcrossLateStartGapAndOverlap) {
    ScratchFolder folder;
    const std::string path = folder.file("clicks.m4a");
    OpenWriter open = openWriter(path, MediaFileType::appleM4A, 0, 0, 128000);
    const std::vector<double> clicks = {0.25, 0.85, 1.002, 1.3};
    const auto appendRun = [&](double start, int buffers) {
        for (int b = 0; b < buffers; ++b) {
            const double bufferStart = start + b * 0.01;
            const auto firstSample = static_cast<std::int64_t>(std::llround(bufferStart * 48000));
            appendPatiently(*open.audio, audioSample(MediaTime::make(firstSample, 48000), 480, [&](int i) {
                for (const double click : clicks) {
                    if (firstSample + i == std::llround(click * 48000)) return 0.9f;
                }
                return 0.0f;
            }));
        }
    };
    appendRun(0.1, 40);    // starts 100 ms after the session start, runs to 0.5 s
    appendRun(0.7, 30);    // after a 200 ms gap, runs to 1.0 s
    appendRun(0.995, 50);  // overlaps the previous run by 5 ms
    // A short last buffer, so the end is not on a whole millisecond.
    appendPatiently(*open.audio, audioSample(MediaTime::make(71760, 48000), 100, [](int) { return 0.0f; }));
    finish(open);

    const auto samples = decodeAudio(path);
    ASSERT_GT(samples.size(), static_cast<std::size_t>(1.4 * 48000));
    for (const double click : clicks) {
        const std::int64_t expected = std::llround(click * 48000);
        const std::int64_t found = loudestNear(samples, expected, 2400);
        EXPECT_LE(std::llabs(found - expected), 48) << "click at " << click << " s found at " << found / 48000.0;
    }
    EXPECT_LT(loudness(samples, 0.0, 0.09), 0.001);
    EXPECT_LT(loudness(samples, 0.55, 0.65), 0.001);
    // The track ends with the last buffer, to the sample (decoders play the last AAC
    // frame whole, so this is read from the file's own timing).
    EXPECT_NEAR(numberField(streamOf(probe(path), "audio"), "duration"), 71860.0 / 48000, 1.0 / 48000);
}

TEST(MediaWriter, FinishesRecordingsWithoutPicturesOrWithoutAnything) {
    ScratchFolder folder;
    // No screen frame was ever accepted: the movie holds its sound only.
    const std::string soundOnly = folder.file("no-picture.mp4");
    OpenWriter open = openWriter(soundOnly, MediaFileType::mpeg4, 320, 180, 192000);
    appendTone(*open.audio, 0.0, 0.5);
    open.writer->endSession(MediaTime::make(1, 2));
    finish(open);
    EXPECT_NEAR(numberField(streamOf(probe(soundOnly), "audio"), "duration"), 0.5, 1.0 / 48000);

    // Nothing at all was appended.
    const std::string empty = folder.file("empty.mov");
    OpenWriter nothing = openWriter(empty, MediaFileType::quickTimeMovie, 320, 180, 192000);
    nothing.writer->endSession(MediaTime::zero());
    finish(nothing);
    EXPECT_NEAR(numberField(probe(empty).at("format"), "duration"), 0.0, 0.001);
}

TEST(MediaWriter, FramesOfAnotherSizeAreScaledToTheFileSize) {
    ScratchFolder folder;
    const std::string path = folder.file("resized.mp4");
    OpenWriter open = openWriter(path, MediaFileType::mpeg4, 320, 180, 0);
    for (int i = 0; i < 10; ++i) appendPatiently(*open.video, videoSample(640, 360, i, MediaTime::make(i, 30)));
    for (int i = 10; i < 15; ++i) appendPatiently(*open.video, videoSample(320, 180, i, MediaTime::make(i, 30)));
    finish(open);
    const auto video = streamOf(probe(path), "video");
    EXPECT_EQ(video.value("width", 0), 320);
    EXPECT_EQ(video.value("height", 0), 180);
    EXPECT_EQ(probeFrames(path, "v:0").at("frames").size(), 15u);
}

TEST(MediaWriter, FramesAfterQuietSpellsKeepTheirTimes) {
    ScratchFolder folder;
    const std::string path = folder.file("quiet.mp4");
    OpenWriter open = openWriter(path, MediaFileType::mpeg4, 320, 180, 0);
    // A still screen: a few frames, then nothing for longer than the worker waits before it
    // writes out the fragment in hand, three times.
    int index = 0;
    for (int spell = 0; spell < 3; ++spell) {
        for (int i = 0; i < 3; ++i, ++index)
            appendPatiently(*open.video, videoSample(320, 180, index, MediaTime::make(index, 2)));
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
    }
    open.writer->endSession(MediaTime::make(index, 2));
    finish(open);
    const std::string errors = shellOutput("ffmpeg -v error -i " + shellQuoted(path) + " -f null - 2>&1");
    EXPECT_EQ(errors, "");
    const auto frames = probeFrames(path, "v:0").at("frames");
    ASSERT_EQ(frames.size(), 9u);
    for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_NEAR(numberField(frames[i], "pts_time"), i * 0.5, 0.0005);
    EXPECT_NEAR(numberField(streamOf(probe(path), "video"), "duration"), 4.5, 0.001);
}

TEST(MediaWriter, FullQueueRefusesBuffersInsteadOfWaiting) {
    ScratchFolder folder;
    const std::string path = folder.file("busy.mp4");
    OpenWriter open = openWriter(path, MediaFileType::mpeg4, 1280, 720, 0);
    // Two pictures in turn: a picture the same as the one before would not be encoded.
    const SampleBuffer frames[] = {videoSample(1280, 720, 0, MediaTime::zero()), videoSample(1280, 720, 1, MediaTime::zero())};
    int accepted = 0;
    int refused = 0;
    for (int i = 0; i < 200 && refused == 0; ++i) {
        const bool ready = open.video->isReadyForMoreMediaData();
        const bool taken = open.video->append(*frames[i % 2].copyWithTiming(
            SampleTiming{MediaTime::make(1, 60), MediaTime::make(i, 60), MediaTime::invalid()}));
        if (!ready) {
            EXPECT_FALSE(taken) << "a buffer was taken while the input said it was not ready";
        }
        taken ? ++accepted : ++refused;
    }
    // Encoding 1280x720 takes far longer than handing over a shared frame.
    EXPECT_GT(refused, 0);
    EXPECT_GT(accepted, 0);
    finish(open);
    EXPECT_EQ(probeFrames(path, "v:0").at("frames").size(), static_cast<std::size_t>(accepted));
}

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(MediaWriter, NeverOverwritesAnExistingFile) {
    ScratchFolder folder;
    const std::string path = folder.file("taken.mp4");
    std::ofstream(path) << "someone else's file";
    try {
        makeMediaWriter(path, MediaFileType::mpeg4);
        ADD_FAILURE() << "a writer was made over an existing file";
    } catch (const MediaWriterError& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
    EXPECT_EQ(contentOf(path), "someone else's file");

    // A file that appears between making the writer and starting it is not touched either.
    const std::string later = folder.file("later.m4a");
    auto writer = makeMediaWriter(later, MediaFileType::appleM4A);
    writer->add(writer->makeInput(AudioOutputSettings{audioFormatMPEG4AAC, 48000, 2, 128000}, true));
    std::ofstream(later) << "arrived first";
    EXPECT_FALSE(writer->startWriting());
    EXPECT_EQ(writer->status(), MediaWriterStatus::failed);
    EXPECT_NE(writer->error().value_or("").find(later), std::string::npos);
    EXPECT_EQ(contentOf(later), "arrived first");
}

TEST(MediaWriter, UnwritableLocationFailsAloneWhileOtherWritersFinish) {
    ScratchFolder folder;
    const std::string notAFolder = folder.file("plain-file");
    std::ofstream(notAFolder) << "x";
    const std::string badPath = notAFolder + "/movie.mp4";
    auto bad = makeMediaWriter(badPath, MediaFileType::mpeg4);
    bad->add(bad->makeInput(AudioOutputSettings{audioFormatMPEG4AAC, 48000, 2, 192000}, true));
    EXPECT_FALSE(bad->startWriting());
    EXPECT_EQ(bad->status(), MediaWriterStatus::failed);
    EXPECT_NE(bad->error().value_or("").find(badPath), std::string::npos) << bad->error().value_or("");
    EXPECT_TRUE(finishAndWait(*bad));

    OpenWriter good = openWriter(folder.file("good.m4a"), MediaFileType::appleM4A, 0, 0, 128000);
    appendTone(*good.audio, 0.0, 0.5);
    finish(good);
    EXPECT_NEAR(numberField(probe(folder.file("good.m4a")).at("format"), "duration"), 0.5, 1.0 / 48000);
}

TEST(MediaWriter, RefusesInputsTheFileCannotHold) {
    ScratchFolder folder;
    auto m4a = makeMediaWriter(folder.file("a.m4a"), MediaFileType::appleM4A);
    VideoOutputSettings video;
    video.width = 320;
    video.height = 180;
    EXPECT_FALSE(m4a->canAdd(*m4a->makeInput(video, true)));
    EXPECT_FALSE(m4a->canAdd(*m4a->makeInput(AudioOutputSettings{0x6c70636d, 48000, 2, 128000}, true)));

    auto movie = makeMediaWriter(folder.file("b.mp4"), MediaFileType::mpeg4);
    auto first = movie->makeInput(video, true);
    movie->add(first);
    EXPECT_FALSE(movie->canAdd(*movie->makeInput(video, true)));  // one picture per file
    video.width = 0;
    auto sizeless = makeMediaWriter(folder.file("c.mp4"), MediaFileType::mpeg4);
    EXPECT_FALSE(sizeless->canAdd(*sizeless->makeInput(video, true)));
}

}  // namespace
}  // namespace kelvane::platform::ffmpeg::testing
