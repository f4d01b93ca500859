// Configuration decoding on arbitrary bytes: it either yields a configuration or throws
// CaptureConfigError, and a configuration it yields survives being written back and
// decoded again unchanged.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "common/unicode_text.h"
#include "recorder/capture_config.h"

namespace {

using kelvane::recorder::CaptureConfig;

nlohmann::json encode(const CaptureConfig& config) {
    nlohmann::json object = nlohmann::json::object();
    if (config.fps) object["fps"] = *config.fps;
    if (config.displayId) object["displayId"] = *config.displayId;
    if (config.windowId) object["windowId"] = *config.windowId;
    if (config.outputPath) object["outputPath"] = *config.outputPath;
    if (config.capturesSystemAudio) object["capturesSystemAudio"] = *config.capturesSystemAudio;
    if (config.capturesMicrophone) object["capturesMicrophone"] = *config.capturesMicrophone;
    if (config.systemAudioOutputPath) object["systemAudioOutputPath"] = *config.systemAudioOutputPath;
    if (config.microphoneDeviceId) object["microphoneDeviceId"] = *config.microphoneDeviceId;
    if (config.microphoneLabel) object["microphoneLabel"] = *config.microphoneLabel;
    if (config.microphoneOutputPath) object["microphoneOutputPath"] = *config.microphoneOutputPath;
    return object;
}

bool same(const CaptureConfig& a, const CaptureConfig& b) {
    return a.fps == b.fps && a.displayId == b.displayId && a.windowId == b.windowId && a.outputPath == b.outputPath &&
           a.capturesSystemAudio == b.capturesSystemAudio && a.capturesMicrophone == b.capturesMicrophone &&
           a.systemAudioOutputPath == b.systemAudioOutputPath && a.microphoneDeviceId == b.microphoneDeviceId &&
           a.microphoneLabel == b.microphoneLabel && a.microphoneOutputPath == b.microphoneOutputPath;
}

void check(const std::string& text) {
    CaptureConfig config;
    try {
        config = kelvane::recorder::decodeCaptureConfig(text);
    } catch (const kelvane::recorder::CaptureConfigError&) {
        return;
    }
    // Decoded strings came from a valid JSON text, so they are valid UTF-8.
    for (const auto* field : {&config.outputPath, &config.systemAudioOutputPath, &config.microphoneDeviceId,
                              &config.microphoneLabel, &config.microphoneOutputPath}) {
        if (*field && !kelvane::common::isValidUtf8(**field)) std::abort();
    }
    if (!same(kelvane::recorder::decodeCaptureConfig(encode(config).dump()), config)) std::abort();
}

const char* const keys[] = {"fps", "displayId", "windowId", "outputPath", "capturesSystemAudio",
                            "capturesMicrophone", "systemAudioOutputPath", "microphoneDeviceId",
                            "microphoneLabel", "microphoneOutputPath", "unknownKey"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    check(text);
    // Random bytes rarely form an object with known keys: also try the input as the
    // value of one, so the type and range checks see numbers, strings and nulls.
    if (size > 0) {
        check(std::string("{\"") + keys[data[0] % std::size(keys)] + "\":" + text.substr(1) + "}");
        check("{\"fps\":" + std::to_string(static_cast<std::int8_t>(data[0])) + text.substr(1) + "}");
    }
    return 0;
}
