// Reads the whole 1920x1080 screen 300 times with the capture backend (MIT-SHM image and
// frame fitting, as each changed frame of a display recording costs) and times ffmpeg's
// x11grab reading 300 frames of the same screen in the same run. Prints wall and CPU
// time per frame of both and the ratio ffmpeg / ours.
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/fixed_decimals.h"
#include "common/line_output.h"
#include "platform/linux/x11/frame_fitting.h"
#include "platform/linux/x11/x_image_grabber.h"

namespace {

using kelvane::bench::fixed;
using namespace kelvane::platform;
constexpr int frames = 300;

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

double cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

Cost ours() {
    x11::XImageGrabber grabber(x11::DisplayArea{Rect{0, 0, 1920, 1080}});
    x11::FrameFitter fitter(1920, 1080);
    const double cpuBefore = cpuMs(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    std::size_t checksum = 0;
    for (int i = 0; i < frames; ++i) {
        const auto image = grabber.grab(true);
        if (!image) throw std::runtime_error("the screen could not be read");
        checksum += fitter.fit(*image).pixels[static_cast<std::size_t>(i) * 4];
    }
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (checksum == static_cast<std::size_t>(-1)) std::abort();
    return {wall / frames, (cpuMs(RUSAGE_SELF) - cpuBefore) / frames};
}

// ffmpeg's own start-up is timed too; reading 300 frames keeps it a small share.
Cost ffmpegX11grab() {
    const std::string command = std::string("ffmpeg -v error -f x11grab -draw_mouse 0 -framerate 1000 -video_size 1920x1080 -i ") +
                                std::getenv("DISPLAY") + " -frames:v " + std::to_string(frames) + " -f null -";
    const double cpuBefore = cpuMs(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg x11grab failed");
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return {wall / frames, (cpuMs(RUSAGE_CHILDREN) - cpuBefore) / frames};
}

}  // namespace

int main() {
    try {
        ours();  // warm up the server's and our caches
        const Cost ffmpeg = ffmpegX11grab();
        const Cost kelvane = ours();
        kelvane::common::writeOutputLine("1920x1080 screen, " + std::to_string(frames) + " frames");
        kelvane::common::writeOutputLine("ours:          " + fixed(kelvane.wallMs) + " ms wall, " + fixed(kelvane.cpuMs) +
                                         " ms CPU per frame");
        kelvane::common::writeOutputLine("ffmpeg x11grab: " + fixed(ffmpeg.wallMs) + " ms wall, " + fixed(ffmpeg.cpuMs) +
                                         " ms CPU per frame");
        kelvane::common::writeOutputLine("ffmpeg / ours: wall " + fixed(ffmpeg.wallMs / kelvane.wallMs) + ", CPU " +
                                         fixed(ffmpeg.cpuMs / kelvane.cpuMs) +
                                         " (goal: above 1; a 60 fps recording needs under 16.7 ms wall)");
        return 0;
    } catch (const std::exception& error) {
        kelvane::common::writeErrorLine(std::string("bench-capture: ") + error.what());
        return 1;
    }
}
