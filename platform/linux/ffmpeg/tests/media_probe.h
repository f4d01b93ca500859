#pragma once
// Looks into written media files with the ffprobe and ffmpeg programs, as a player would.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace kelvane::platform::ffmpeg::testing {

// ffprobe's JSON for the file: "format" and "streams", plus "frames" or "packets" of the
// selected stream when asked ("v:0", "a:0").
nlohmann::json probe(const std::string& path);
nlohmann::json probeFrames(const std::string& path, const std::string& stream);
nlohmann::json probePackets(const std::string& path, const std::string& stream);

// The first stream of `codecType` ("video" / "audio"); throws when there is none.
nlohmann::json streamOf(const nlohmann::json& probed, const std::string& codecType);
// A numeric field that ffprobe writes as text ("10.016667").
double numberField(const nlohmann::json& object, const std::string& key);

// The first audio track decoded to mono 48000 Hz float samples, edit lists applied.
std::vector<float> decodeAudio(const std::string& path);

// The length in seconds that GStreamer's gst-discoverer-1.0 reports for the file, which
// it reads from the file's headers rather than from its last sample; -1 when it reports none.
double discoveredDuration(const std::string& path);

// The four-character types of the file's top-level boxes, in order ("ftyp", "mdat", ...).
std::vector<std::string> topLevelBoxes(const std::string& path);

}  // namespace kelvane::platform::ffmpeg::testing
