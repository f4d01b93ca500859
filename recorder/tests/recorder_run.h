#pragma once
// Runs the built kelvane-recorder the way the host does (configuration argument, commands
// on standard input, lines back) and looks into what it wrote.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "testing/child_process.h"

namespace kelvane::recorder::test {

using Seconds = std::chrono::duration<double>;

class RecorderRun {
public:
    explicit RecorderRun(const std::string& configJson, const kelvane::testing::SpawnOptions& options = {});

    // Waits for "Recording started"; when another line or the end comes first, waits
    // for the program to end and gives false.
    bool waitUntilStarted();
    void command(const std::string& line);
    void signal(int signalNumber);
    // Reads the rest of both streams and the exit status.
    kelvane::testing::ExitStatus finish();
    // The next standard-output line, or nothing after the time-out.
    std::optional<std::string> nextLine(std::chrono::milliseconds timeout);

    // Seconds from "Recording started" to the last command or signal.
    double recordedSpan() const { return Seconds(lastCommandAt_ - startedAt_).count(); }
    // Every line read so far, marked with its stream, for failure messages.
    std::string transcript() const;
    const std::vector<std::string>& lines() const { return lines_; }
    const std::vector<std::string>& errorLines() const { return errorLines_; }

private:
    kelvane::testing::ChildProcess process_;
    std::vector<std::string> lines_;
    std::vector<std::string> errorLines_;
    std::chrono::steady_clock::time_point startedAt_{};
    std::chrono::steady_clock::time_point lastCommandAt_{};
};

// A fresh folder for one test's files.
std::string makeTemporaryFolder();

// Decoded pixels of every frame, scaled to `width` x `height`, RGB bytes.
struct DecodedVideo {
    int width = 0;
    int height = 0;
    std::vector<std::vector<unsigned char>> frames;
    // Presentation times of the frames, in seconds.
    std::vector<double> times;
};
DecodedVideo decodeVideo(const std::string& path, int width, int height);

// Amplitude of the `frequency` component of mono samples (a full-scale sine gives 1).
double toneAmplitude(const std::vector<float>& samples, double frequency);

// A stereo 48000 Hz sine as a WAV file.
void writeToneWav(const std::string& path, double frequency, double seconds, double amplitude);

}  // namespace kelvane::recorder::test
