#include "recorder/tests/recorder_run.h"

#include <stdlib.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "platform/linux/ffmpeg/tests/media_probe.h"

namespace kelvane::recorder::test {

using namespace std::chrono_literals;
using kelvane::testing::shellOutput;
using kelvane::testing::shellQuoted;

namespace {
const std::string recorderProgram = KELVANE_BINARY_DIR "/recorder/kelvane-recorder";
}

RecorderRun::RecorderRun(const std::string& configJson, const kelvane::testing::SpawnOptions& options)
    : process_({recorderProgram, configJson}, options) {}

bool RecorderRun::waitUntilStarted() {
    const auto line = nextLine(30s);
    startedAt_ = lastCommandAt_ = std::chrono::steady_clock::now();
    if (line == "Recording started") return true;
    // Keeps what the program said for the failure message.
    finish();
    return false;
}

std::optional<std::string> RecorderRun::nextLine(std::chrono::milliseconds timeout) {
    auto line = process_.readStdoutLine(timeout);
    if (line) lines_.push_back(*line);
    return line;
}

void RecorderRun::command(const std::string& line) {
    lastCommandAt_ = std::chrono::steady_clock::now();
    process_.write(line + "\n");
}

void RecorderRun::signal(int signalNumber) {
    lastCommandAt_ = std::chrono::steady_clock::now();
    process_.sendSignal(signalNumber);
}

std::string RecorderRun::transcript() const {
    std::string text;
    for (const auto& line : lines_) text += "out: " + line + "\n";
    for (const auto& line : errorLines_) text += "err: " + line + "\n";
    return text;
}

kelvane::testing::ExitStatus RecorderRun::finish() {
    const auto status = process_.waitForExit(60s);
    while (auto line = process_.readStdoutLine(1s)) lines_.push_back(*line);
    while (auto line = process_.readStderrLine(1s)) errorLines_.push_back(*line);
    if (!status) return process_.kill();
    return *status;
}

std::string makeTemporaryFolder() {
    std::string pattern = (std::getenv("KELVANE_TEST_DESKTOP_DIR") ? std::getenv("KELVANE_TEST_DESKTOP_DIR") : "/tmp");
    pattern += "/recording-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

DecodedVideo decodeVideo(const std::string& path, int width, int height) {
    const std::string scale = std::to_string(width) + ":" + std::to_string(height);
    const std::string pixels = shellOutput("ffmpeg -v error -i " + shellQuoted(path) + " -map 0:v:0 -fps_mode passthrough -vf scale=" +
                                          scale + " -f rawvideo -pix_fmt rgb24 -");
    DecodedVideo video{width, height, {}, {}};
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 3;
    for (std::size_t offset = 0; offset + frameBytes <= pixels.size(); offset += frameBytes) {
        video.frames.emplace_back(pixels.begin() + static_cast<std::ptrdiff_t>(offset),
                                  pixels.begin() + static_cast<std::ptrdiff_t>(offset + frameBytes));
    }
    std::istringstream times(shellOutput("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 " +
                                        shellQuoted(path)));
    for (std::string line; std::getline(times, line);) {
        if (!line.empty()) video.times.push_back(std::stod(line));
    }
    return video;
}

double toneAmplitude(const std::vector<float>& samples, double frequency) {
    if (samples.empty()) return 0;
    double real = 0, imaginary = 0;
    const double step = 2 * std::numbers::pi * frequency / 48000.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        real += samples[i] * std::cos(step * static_cast<double>(i));
        imaginary += samples[i] * std::sin(step * static_cast<double>(i));
    }
    return 2 * std::hypot(real, imaginary) / static_cast<double>(samples.size());
}

void writeToneWav(const std::string& path, double frequency, double seconds, double amplitude) {
    shellOutput("sox -n -q -r 48000 -c 2 -b 16 " + shellQuoted(path) + " synth " + std::to_string(seconds) + " sine " +
               std::to_string(frequency) + " vol " + std::to_string(amplitude));
    if (!std::ifstream(path)) throw std::runtime_error("sox did not write " + path);
}

}  // namespace kelvane::recorder::test
