#pragma once
// The recorder's own errors: domain "KelvaneCapture", an integer code, and the message
// the host is shown.
#include <optional>
#include <stdexcept>
#include <string>

namespace kelvane::recorder {

inline constexpr const char* captureErrorDomain = "KelvaneCapture";

class CaptureError : public std::runtime_error {
public:
    CaptureError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }
    const char* domain() const { return captureErrorDomain; }

private:
    int code_;
};

// The user declined to let the screen be recorded when the recording started; answered
// like missing screen access.
class ScreenAccessDeclined : public std::runtime_error {
public:
    ScreenAccessDeclined() : std::runtime_error("Screen access declined") {}
};

namespace capture_errors {
inline CaptureError alreadyRecording() { return {1, "Recording is already in progress"}; }
inline CaptureError invalidJsonInput() { return {2, "Invalid JSON input"}; }
inline CaptureError windowNotFound() { return {3, "Window not found"}; }
inline CaptureError displayNotFound() { return {4, "Display not found"}; }
inline CaptureError noSettingsAssistant() { return {5, "Unable to create output settings assistant"}; }
inline CaptureError noOutputSettings() { return {6, "Output settings unavailable"}; }
inline CaptureError cannotAddVideoInput() { return {7, "Unable to add video writer input"}; }
inline CaptureError notRecording() { return {9, "No recording in progress"}; }
inline CaptureError missingSystemAudioPath() { return {11, "Missing system audio output path for audio capture"}; }
inline CaptureError cannotAddSystemAudioInput() { return {12, "Unable to add system audio writer input"}; }
inline CaptureError missingMicrophonePath() { return {14, "Missing microphone output path for microphone capture"}; }
inline CaptureError cannotAddMicrophoneInput() { return {15, "Unable to add microphone writer input"}; }
// A writer that would not start: its own description when it has one, else `fallback`.
inline CaptureError writerDidNotStart(int code, const std::optional<std::string>& writerError, const char* fallback) {
    return {code, writerError && !writerError->empty() ? *writerError : std::string(fallback)};
}
inline CaptureError videoWriterDidNotStart(const std::optional<std::string>& writerError) {
    return writerDidNotStart(8, writerError, "Unable to start video writing");
}
inline CaptureError systemAudioWriterDidNotStart(const std::optional<std::string>& writerError) {
    return writerDidNotStart(13, writerError, "Unable to start system audio writing");
}
inline CaptureError microphoneWriterDidNotStart(const std::optional<std::string>& writerError) {
    return writerDidNotStart(16, writerError, "Unable to start microphone audio writing");
}
}  // namespace capture_errors

}  // namespace kelvane::recorder
