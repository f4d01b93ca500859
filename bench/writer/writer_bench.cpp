// The writer benchmark: 600 frames of 1920x1080 scrolling text at 60 fps with 10 s of
// stereo sound, written by our media writer and, in the same run, by
// `ffmpeg -c:v libx264 -preset veryfast -c:a aac` from the same raw frames and samples.
// Prints CPU time, file size, SSIM against the source frames and peak memory of both,
// and the ratios ours ÷ ffmpeg.
//
//   bench-writer <empty work folder>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "bench/writer/screen_content.h"
#include "platform/media_writer.h"

using namespace kelvane;
using namespace kelvane::platform;

namespace {

constexpr int frameCount = 600;
constexpr int audioBuffer = 480;
constexpr std::int64_t audioSamples = 10 * 48000;
constexpr std::int64_t audioBitRate = 192000;

struct Measure {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    double peakMiB = 0;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }
double cpuOf(const rusage& usage) { return seconds(usage.ru_utime) + seconds(usage.ru_stime); }

double fileMiB(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return static_cast<double>(status.st_size) / (1024.0 * 1024.0);
}

std::vector<float> allAudio() { return bench::chordSamples(0, static_cast<int>(audioSamples)); }

// What making the frames alone costs in CPU time, so it can be told apart from encoding.
double frameMakingCpu(const bench::ScreenContent& content) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::vector<std::uint8_t> pixels;
    for (int k = 0; k < frameCount; ++k) {
        std::vector<std::uint8_t> fresh;
        content.frame(k, fresh);
        pixels.swap(fresh);
    }
    getrusage(RUSAGE_SELF, &after);
    return cpuOf(after) - cpuOf(before);
}

template <class Input>
void appendWhenReady(Input& input, const SampleBuffer& buffer) {
    while (!input.isReadyForMoreMediaData()) std::this_thread::sleep_for(std::chrono::microseconds(500));
    if (!input.append(buffer)) std::fprintf(stderr, "append refused\n");
}

Measure writeOurs(const bench::ScreenContent& content, const std::vector<float>& audio, const std::string& path,
                  double& finishSeconds) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();

    auto writer = makeMediaWriter(path, MediaFileType::mpeg4).value();
    auto assistant = makeOutputSettingsAssistant(OutputSettingsPreset::preset3840x2160).value();
    const auto source =
        makeVideoFormatDescription(VideoCodec::h264, bench::ScreenContent::width, bench::ScreenContent::height);
    assistant->setSourceVideoFormat(source.value());
    auto video = writer->makeInput(*assistant->videoSettings(), true);
    auto sound = writer->makeInput(AudioOutputSettings{audioFormatMPEG4AAC, 48000, 2, audioBitRate}, true);
    writer->add(video);
    writer->add(sound);
    // A writer that cannot start says so when it is finished.
    static_cast<void>(writer->startWriting());
    writer->startSession(MediaTime::zero());

    std::int64_t nextSample = 0;
    for (int k = 0; k < frameCount; ++k) {
        VideoFrame frame;
        frame.width = bench::ScreenContent::width;
        frame.height = bench::ScreenContent::height;
        frame.stride = frame.width * 4;
        content.frame(k, frame.pixels);
        appendWhenReady(*video, SampleBuffer::video(std::move(frame), SampleTiming{MediaTime::make(1, 60),
                                                                                     MediaTime::make(k, 60),
                                                                                     MediaTime::invalid()}));
        for (; nextSample < static_cast<std::int64_t>(k + 1) * 800; nextSample += audioBuffer) {
            AudioPcm pcm{48000, 2, std::vector<float>(audio.begin() + nextSample * 2,
                                                       audio.begin() + (nextSample + audioBuffer) * 2)};
            appendWhenReady(*sound, SampleBuffer::audio(std::move(pcm), SampleTiming{MediaTime::make(audioBuffer, 48000),
                                                                                       MediaTime::make(nextSample, 48000),
                                                                                       MediaTime::invalid()}));
        }
    }
    writer->endSession(MediaTime::make(frameCount, 60));
    video->markAsFinished();
    sound->markAsFinished();
    const auto finishStart = std::chrono::steady_clock::now();
    std::promise<Result<void>> done;
    writer->finishWriting([&done](Result<void> outcome) { done.set_value(std::move(outcome)); });
    const Result<void> finished = done.get_future().get();
    const auto end = std::chrono::steady_clock::now();
    if (writer->status() != MediaWriterStatus::completed)
        std::fprintf(stderr, "our writer failed: %s\n", finished ? "" : finished.error().message.c_str());

    getrusage(RUSAGE_SELF, &after);
    finishSeconds = std::chrono::duration<double>(end - finishStart).count();
    Measure measure;
    measure.cpuSeconds = cpuOf(after) - cpuOf(before);
    measure.wallSeconds = std::chrono::duration<double>(end - start).count();
    measure.peakMiB = static_cast<double>(after.ru_maxrss) / 1024.0;
    return measure;
}

// Runs `arguments` with the source frames written to its standard input and its
// standard error kept in `errorPath`; measures the child alone.
Measure runWithFrames(const bench::ScreenContent& content, std::vector<std::string> arguments,
                      const std::string& errorPath) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[0], STDIN_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        std::freopen(errorPath.c_str(), "w", stderr);
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[0]);
    std::vector<std::uint8_t> pixels;
    for (int k = 0; k < frameCount; ++k) {
        content.frame(k, pixels);
        std::size_t written = 0;
        while (written < pixels.size()) {
            const ssize_t n = ::write(fds[1], pixels.data() + written, pixels.size() - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
    }
    ::close(fds[1]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Measure measure;
    measure.cpuSeconds = cpuOf(usage);
    measure.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return measure;
}

std::vector<std::string> rawFrameInput() {
    return {"-f", "rawvideo", "-pix_fmt", "bgra", "-s", "1920x1080", "-framerate", "60", "-i", "pipe:0"};
}

// SSIM ("All") of the file's pictures against the source frames converted with `matrix`,
// the conversion the file's encoder used.
double ssimAgainstSource(const bench::ScreenContent& content, const std::string& path, const std::string& matrix,
                         const std::string& work) {
    std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-hide_banner", "-i", path};
    for (const auto& argument : rawFrameInput()) arguments.push_back(argument);
    const std::vector<std::string> rest = {
        "-lavfi", "[1:v]scale=out_color_matrix=" + matrix + ":out_range=tv,format=yuv420p[ref];[0:v]format=yuv420p[enc];[enc][ref]ssim",
        "-f", "null", "-"};
    arguments.insert(arguments.end(), rest.begin(), rest.end());
    const std::string log = work + "/ssim.log";
    runWithFrames(content, arguments, log);
    std::ifstream file(log);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::smatch match;
    if (std::regex_search(text, match, std::regex("SSIM .*All:([0-9.]+)"))) return std::stod(match[1]);
    std::fprintf(stderr, "no SSIM for %s:\n%s\n", path.c_str(), text.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-writer <empty work folder>\n");
        return 2;
    }
    const std::string work = argv[1];
    const bench::ScreenContent content(frameCount);
    const std::vector<float> audio = allAudio();
    const std::string audioPath = work + "/source.f32";
    std::ofstream(audioPath, std::ios::binary).write(reinterpret_cast<const char*>(audio.data()),
                                                     static_cast<std::streamsize>(audio.size() * sizeof(float)));

    const double makingCpu = frameMakingCpu(content);
    double finishSeconds = 0;
    const std::string oursPath = work + "/ours.mp4";
    const Measure ours = writeOurs(content, audio, oursPath, finishSeconds);

    const std::string peerPath = work + "/peer.mp4";
    std::vector<std::string> peerArguments = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
    for (const auto& argument : rawFrameInput()) peerArguments.push_back(argument);
    const std::vector<std::string> peerRest = {"-f", "f32le", "-ar", "48000", "-ac", "2", "-i", audioPath,
                                               "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                                               "-c:a", "aac", "-b:a", "192k", peerPath};
    peerArguments.insert(peerArguments.end(), peerRest.begin(), peerRest.end());
    const Measure peer = runWithFrames(content, peerArguments, work + "/peer.log");

    const double oursSsim = ssimAgainstSource(content, oursPath, "bt709", work);
    const double peerSsim = ssimAgainstSource(content, peerPath, "bt601", work);
    const double oursMiB = fileMiB(oursPath);
    const double peerMiB = fileMiB(peerPath);

    std::printf("writer benchmark: %d frames 1920x1080 scrolling text at 60 fps + 10 s stereo AAC %lld bit/s\n",
                frameCount, static_cast<long long>(audioBitRate));
    std::printf("%-34s %9s %9s %9s %9s %9s\n", "", "CPU s", "wall s", "size MiB", "SSIM", "peak MiB");
    std::printf("%-34s %9.2f %9.2f %9.2f %9.5f %9.1f\n", "ours (makeMediaWriter)", ours.cpuSeconds, ours.wallSeconds,
                oursMiB, oursSsim, ours.peakMiB);
    std::printf("%-34s %9.2f %9s %9s %9s %9s\n", "  of which making the frames", makingCpu, "", "", "", "");
    std::printf("%-34s %9.2f %9.2f %9.2f %9.5f %9.1f\n", "ffmpeg libx264 veryfast + aac", peer.cpuSeconds,
                peer.wallSeconds, peerMiB, peerSsim, peer.peakMiB);
    std::printf("finishing (indexing the fragmented file in place): %.3f s\n", finishSeconds);
    const double cpuRatio = (ours.cpuSeconds - makingCpu) / peer.cpuSeconds;
    std::printf("ratio ours/ffmpeg: CPU %.2f (goal <= 0.80; %.2f counting frame making), size %.2f (goal <= 1.10), "
                "SSIM %+.5f (goal >= -0.005), peak memory %.0f MiB (goal < 300)\n",
                cpuRatio, ours.cpuSeconds / peer.cpuSeconds, oursMiB / peerMiB, oursSsim - peerSsim, ours.peakMiB);
    return 0;
}
