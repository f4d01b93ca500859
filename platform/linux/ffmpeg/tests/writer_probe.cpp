// A small recording process for the tests that need one of their own: writes a movie file
// (H.264 + AAC) and separate M4A files from synthetic media, optionally in real time and
// under a file size limit, and reports how each writer ended.
//
//   writer_probe --movie PATH [--audio PATH]... --seconds S [--realtime] [--still]
//                [--file-size-limit BYTES] [--kill-while-finishing STEP]
//
// With --still the picture changes only once a second, as on a still screen. With
// --kill-while-finishing the process kills itself when finishing reaches STEP ("closed",
// "appended" or "committed"), as a crash there would.
// Prints "started" once writing has begun, then one line per writer at the end:
// "<path> completed" or "<path> failed <description>".
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/ffmpeg/movie_muxer.h"
#include "platform/linux/ffmpeg/tests/synthetic_media.h"
#include "platform/media_writer.h"

using namespace kelvane::platform;
using namespace kelvane::platform::ffmpeg::testing;

namespace {

constexpr int width = 320;
constexpr int height = 180;

struct Options {
    std::string movie;
    std::vector<std::string> audio;
    double seconds = 0;
    bool realtime = false;
    bool still = false;
    long long fileSizeLimit = 0;
    std::string killWhileFinishing;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (argument == "--movie") options.movie = value();
        else if (argument == "--audio") options.audio.push_back(value());
        else if (argument == "--seconds") options.seconds = std::atof(value().c_str());
        else if (argument == "--realtime") options.realtime = true;
        else if (argument == "--still") options.still = true;
        else if (argument == "--file-size-limit") options.fileSizeLimit = std::atoll(value().c_str());
        else if (argument == "--kill-while-finishing") options.killWhileFinishing = value();
    }
    return options;
}

std::string killStep;

void killAtStep(const char* step) {
    if (killStep == step) std::raise(SIGKILL);
}

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Noisy pictures so that the movie grows like a busy screen does.
SampleBuffer busyFrame(int index, MediaTime time) {
    SampleBuffer frame = videoSample(width, height, index, time);
    VideoFrame noisy = *frame.videoFrame();
    std::uint32_t seed = static_cast<std::uint32_t>(index) * 2654435761u;
    for (std::size_t i = 0; i < noisy.pixels.size(); i += 4) {
        seed = seed * 1664525u + 1013904223u;
        noisy.pixels[i] = static_cast<std::uint8_t>(seed >> 24);
    }
    return SampleBuffer::video(std::move(noisy), frame.timing());
}

// Appends when the input has room; a real-time producer loses the buffer otherwise, and
// nothing waits for a writer that has failed.
void offer(const MediaWriter& writer, MediaWriterInput& input, const SampleBuffer& buffer, bool realtime) {
    while (!realtime && !input.isReadyForMoreMediaData() && writer.status() == MediaWriterStatus::writing)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    input.append(buffer);
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    if (options.movie.empty() || options.seconds <= 0) {
        std::fprintf(stderr, "usage: writer_probe --movie PATH [--audio PATH]... --seconds S [--realtime] "
                             "[--still] [--file-size-limit BYTES]\n");
        return 2;
    }
    if (options.fileSizeLimit > 0) {
        // Writing past the limit then fails with EFBIG, like a full disk, instead of a signal.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }

    if (!options.killWhileFinishing.empty()) {
        killStep = options.killWhileFinishing;
        kelvane::platform::ffmpeg::MovieMuxer::observeFinishing(&killAtStep);
    }

    auto assistant = makeOutputSettingsAssistant(OutputSettingsPreset::preset3840x2160).value();
    assistant->setSourceVideoFormat(makeVideoFormatDescription(VideoCodec::h264, width, height).value());
    const AudioOutputSettings inlineAudio{audioFormatMPEG4AAC, 48000, 2, 192000};

    std::vector<std::unique_ptr<MediaWriter>> writers;
    std::vector<std::shared_ptr<MediaWriterInput>> audioInputs;
    const bool mp4 = options.movie.size() > 4 && options.movie.substr(options.movie.size() - 4) == ".mp4";
    const MediaFileType movieType = mp4 ? MediaFileType::mpeg4 : MediaFileType::quickTimeMovie;
    writers.push_back(makeMediaWriter(options.movie, movieType).value());
    auto video = writers[0]->makeInput(*assistant->videoSettings(), true);
    writers[0]->add(video);
    audioInputs.push_back(writers[0]->makeInput(inlineAudio, true));
    writers[0]->add(audioInputs.back());
    for (const auto& path : options.audio) {
        writers.push_back(makeMediaWriter(path, MediaFileType::appleM4A).value());
        audioInputs.push_back(writers.back()->makeInput(AudioOutputSettings{audioFormatMPEG4AAC, 48000, 2, 160000}, true));
        writers.back()->add(audioInputs.back());
    }
    for (const auto& writer : writers) {
        // A writer that cannot start says so when it is finished.
        static_cast<void>(writer->startWriting());
        writer->startSession(MediaTime::zero());
    }
    say("started");

    const auto begin = std::chrono::steady_clock::now();
    const int frames = static_cast<int>(options.seconds * 60);
    std::int64_t nextAudio = 0;
    for (int k = 0; k < frames; ++k) {
        if (options.realtime) std::this_thread::sleep_until(begin + std::chrono::microseconds(k * 1000000LL / 60));
        if (!options.still || k % 60 == 0)
            offer(*writers[0], *video, busyFrame(k, MediaTime::make(k, 60)), options.realtime);
        for (; nextAudio < static_cast<std::int64_t>(k + 1) * 800; nextAudio += 480) {
            const SampleBuffer tone = toneSample(MediaTime::make(nextAudio, 48000), 480, nextAudio);
            for (std::size_t i = 0; i < audioInputs.size(); ++i) offer(*writers[i], *audioInputs[i], tone, options.realtime);
        }
    }

    writers[0]->endSession(MediaTime::make(frames, 60));
    video->markAsFinished();
    for (const auto& input : audioInputs) input->markAsFinished();
    for (const auto& writer : writers) {
        const auto finished = finishAndWait(*writer);
        if (writer->status() == MediaWriterStatus::completed) {
            say(writer->path() + " completed");
        } else {
            say(writer->path() + " failed " + (finished && !*finished ? finished->error().message : ""));
        }
    }
    return 0;
}
