#include "platform/linux/ffmpeg/tests/media_probe.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "testing/child_process.h"

namespace kelvane::platform::ffmpeg::testing {

using kelvane::testing::shellOutput;
using kelvane::testing::shellQuoted;

namespace {

nlohmann::json probeWith(const std::string& arguments, const std::string& path) {
    const std::string output =
        shellOutput("ffprobe -v error -print_format json " + arguments + " " + shellQuoted(path) + " 2>/dev/null");
    if (output.empty()) throw std::runtime_error("ffprobe could not read " + path);
    return nlohmann::json::parse(output);
}

}  // namespace

nlohmann::json probe(const std::string& path) { return probeWith("-show_format -show_streams", path); }

nlohmann::json probeFrames(const std::string& path, const std::string& stream) {
    return probeWith("-select_streams " + stream + " -show_frames -show_entries frame=pts_time,duration_time,key_frame",
                     path);
}

nlohmann::json probePackets(const std::string& path, const std::string& stream) {
    return probeWith("-select_streams " + stream + " -show_packets -show_entries packet=pts_time,duration_time,flags",
                     path);
}

nlohmann::json streamOf(const nlohmann::json& probed, const std::string& codecType) {
    for (const auto& stream : probed.at("streams")) {
        if (stream.value("codec_type", "") == codecType) return stream;
    }
    throw std::runtime_error("no " + codecType + " stream");
}

double numberField(const nlohmann::json& object, const std::string& key) {
    return std::stod(object.at(key).get<std::string>());
}

std::vector<float> decodeAudio(const std::string& path) {
    const std::string bytes = shellOutput("ffmpeg -v error -i " + shellQuoted(path) +
                                         " -map 0:a:0 -ac 1 -ar 48000 -f f32le - 2>/dev/null");
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

double discoveredDuration(const std::string& path) {
    const std::string report = shellOutput("gst-discoverer-1.0 " + shellQuoted(path) + " 2>/dev/null");
    const auto at = report.find("Duration: ");
    int hours = 0;
    int minutes = 0;
    double seconds = 0;
    if (at == std::string::npos ||
        std::sscanf(report.c_str() + at, "Duration: %d:%d:%lf", &hours, &minutes, &seconds) != 3)
        return -1;
    return hours * 3600.0 + minutes * 60.0 + seconds;
}

std::vector<std::string> topLevelBoxes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> boxes;
    std::uint64_t offset = 0;
    for (;;) {
        unsigned char header[16];
        file.seekg(static_cast<std::streamoff>(offset));
        if (!file.read(reinterpret_cast<char*>(header), 8)) break;
        std::uint64_t size = (std::uint64_t{header[0]} << 24) | (std::uint64_t{header[1]} << 16) |
                             (std::uint64_t{header[2]} << 8) | header[3];
        boxes.emplace_back(reinterpret_cast<char*>(header) + 4, 4);
        if (size == 1) {
            if (!file.read(reinterpret_cast<char*>(header) + 8, 8)) break;
            size = 0;
            for (int i = 8; i < 16; ++i) size = (size << 8) | header[i];
        }
        if (size < 8) break;
        offset += size;
    }
    return boxes;
}

}  // namespace kelvane::platform::ffmpeg::testing
