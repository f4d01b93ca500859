#include "recorder/capture_config.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace kelvane::recorder {
namespace {

using Json = nlohmann::json;

const Json* member(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

std::string typeMismatch(const char* key, const char* expected, const Json& value) {
    return std::string("The value of \"") + key + "\" is " + value.type_name() + ", expected " + expected + ".";
}

std::string doesNotFit(const char* key, const Json& value, std::int64_t lowest, std::uint64_t highest) {
    return std::string("The value of \"") + key + "\" (" + value.dump() + ") does not fit its field (" +
           std::to_string(lowest) + " to " + std::to_string(highest) + ").";
}

// A number written with a fraction or an exponent (60.0, 1e3) is read like any standard
// decoder reads it into an integer field: accepted when its value is a whole number.
template <class Integer>
Integer integerFromFloat(const char* key, const Json& value) {
    const double number = value.get<double>();
    if (std::trunc(number) != number) throw CaptureConfigError(typeMismatch(key, "an integer", value));
    // 2 to the power of the field's value bits: the first whole number past its range,
    // exact as a double, as is the lowest value of a signed field.
    const double limit = std::ldexp(1.0, std::numeric_limits<Integer>::digits);
    const double lowest = std::numeric_limits<Integer>::is_signed ? -limit : 0.0;
    if (number < lowest || number >= limit) {
        throw CaptureConfigError(
            doesNotFit(key, value, std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max()));
    }
    return static_cast<Integer>(number);
}

// A value that does not fit the field is refused rather than wrapped or truncated.
template <class Integer>
std::optional<Integer> integerMember(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (!value) return std::nullopt;
    if (value->is_number_float()) return integerFromFloat<Integer>(key, *value);
    if (!value->is_number_integer()) throw CaptureConfigError(typeMismatch(key, "an integer", *value));
    constexpr auto lowest = std::numeric_limits<Integer>::min();
    constexpr auto highest = std::numeric_limits<Integer>::max();
    bool fits;
    if (value->is_number_unsigned()) {
        fits = value->get<std::uint64_t>() <= static_cast<std::uint64_t>(highest);
    } else {
        const std::int64_t signedValue = value->get<std::int64_t>();
        fits = signedValue >= static_cast<std::int64_t>(lowest) &&
               (signedValue < 0 || static_cast<std::uint64_t>(signedValue) <= static_cast<std::uint64_t>(highest));
    }
    if (!fits) throw CaptureConfigError(doesNotFit(key, *value, lowest, highest));
    return value->is_number_unsigned() ? static_cast<Integer>(value->get<std::uint64_t>())
                                       : static_cast<Integer>(value->get<std::int64_t>());
}

std::optional<std::string> stringMember(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_string()) throw CaptureConfigError(typeMismatch(key, "a string", *value));
    return value->get<std::string>();
}

std::optional<bool> boolMember(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_boolean()) throw CaptureConfigError(typeMismatch(key, "a boolean", *value));
    return value->get<bool>();
}

}  // namespace

CaptureConfig decodeCaptureConfig(std::string_view utf8Json) {
    Json document;
    try {
        document = Json::parse(utf8Json.begin(), utf8Json.end());
    } catch (const Json::exception& error) {
        // Besides syntax errors the parser raises out_of_range for numbers no double can
        // hold (1e400); both mean the text is not a configuration we can read.
        throw CaptureConfigError(std::string("The data couldn't be read because it isn't in the correct format. (") +
                                 error.what() + ")");
    }
    if (!document.is_object()) {
        throw CaptureConfigError(std::string("The configuration is ") + document.type_name() +
                                 ", expected a JSON object.");
    }
    CaptureConfig config;
    config.fps = integerMember<std::int64_t>(document, "fps");
    config.displayId = integerMember<std::uint32_t>(document, "displayId");
    config.windowId = integerMember<std::uint32_t>(document, "windowId");
    config.outputPath = stringMember(document, "outputPath");
    config.capturesSystemAudio = boolMember(document, "capturesSystemAudio");
    config.capturesMicrophone = boolMember(document, "capturesMicrophone");
    config.systemAudioOutputPath = stringMember(document, "systemAudioOutputPath");
    config.microphoneDeviceId = stringMember(document, "microphoneDeviceId");
    config.microphoneLabel = stringMember(document, "microphoneLabel");
    config.microphoneOutputPath = stringMember(document, "microphoneOutputPath");
    return config;
}

}  // namespace kelvane::recorder
