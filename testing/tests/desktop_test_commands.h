// Helpers shared by the tests of the throwaway desktops (X and Wayland).
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "testing/child_process.h"

namespace kelvane::testing {

using namespace std::chrono_literals;

inline const std::string withDesktop = std::string(KELVANE_SOURCE_DIR) + "/scripts/with-desktop";

inline std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A 16-bit stereo WAV file of a sine tone.
inline void writeToneWav(const std::string& path, int rate, double seconds, double hertz) {
    uint32_t frames = static_cast<uint32_t>(rate * seconds);
    uint32_t dataBytes = frames * 4;
    std::ofstream file(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    file.write("RIFF", 4);
    u32(36 + dataBytes);
    file.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate) * 4);
    u16(4);
    u16(16);
    file.write("data", 4);
    u32(dataBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        auto sample = static_cast<int16_t>(16000 * std::sin(2 * M_PI * hertz * i / rate));
        u16(static_cast<uint16_t>(sample));
        u16(static_cast<uint16_t>(sample));
    }
}

// The loudest sample of raw signed 16-bit audio, from 0 to 32768.
inline int peak(const std::string& raw) {
    int loudest = 0;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        int16_t sample = static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | static_cast<uint8_t>(raw[i + 1]) << 8);
        loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
    }
    return loudest;
}

// Processes that carry the marker with-desktop gives everything it starts.
inline std::vector<pid_t> processesOfDesktop(const std::string& desktopDir) {
    std::vector<pid_t> found;
    std::string marker = "KELVANE_TEST_DESKTOP_DIR=" + desktopDir;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0) continue;
        std::ifstream environ(std::string("/proc/") + entry->d_name + "/environ", std::ios::binary);
        std::string item;
        while (std::getline(environ, item, '\0')) {
            if (item == marker) found.push_back(static_cast<pid_t>(pid));
        }
    }
    if (proc) closedir(proc);
    return found;
}

inline bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

}  // namespace kelvane::testing
