#include "dictate/dictation_events.h"

#include <exception>

#include "common/json_writer.h"

namespace kelvane::dictate {

std::string eventLine(const EventFields& fields) {
    common::JsonWriter json;
    json.beginObject();
    for (const auto& [key, value] : fields) json.key(key).string(value);
    json.endObject();
    return json.take();
}

namespace {
constexpr std::string_view settingsArrow = " \u203A ";
}

DictationError speechDeniedError() {
    return {"speech-denied", "Speech Recognition is off for Kelvane. Turn it on in System Settings" +
                                 std::string(settingsArrow) + "Privacy & Security" + std::string(settingsArrow) +
                                 "Speech Recognition."};
}

DictationError speechRestrictedError() {
    return {"speech-restricted", "Speech Recognition is not allowed on this Mac."};
}

DictationError speechUnavailableError() {
    return {"speech-unavailable", "Speech Recognition did not answer."};
}

DictationError noRecognizerError(std::string_view localeId) {
    return {"no-recognizer", "This Mac has no speech recognizer for " + std::string(localeId) + "."};
}

DictationError recognizerOfflineError() {
    return {"recognizer-offline",
            "Dictation isn't available right now. Check the internet connection, or turn on Dictation in "
            "System Settings" +
                std::string(settingsArrow) + "Keyboard."};
}

DictationError noMicError() {
    return {"no-mic", "No microphone found. Check System Settings" + std::string(settingsArrow) + "Sound" +
                          std::string(settingsArrow) + "Input."};
}

DictationError micStartError(std::string_view description) {
    return {"mic-start", "Couldn't start the microphone: " + std::string(description) +
                             ". Allow Kelvane in System Settings" + std::string(settingsArrow) +
                             "Privacy & Security" + std::string(settingsArrow) + "Microphone."};
}

DictationEvents::DictationEvents(LineWriter writeLine, ProcessExit exitProcess)
    : writeLine_(std::move(writeLine)), exitProcess_(std::move(exitProcess)) {}

void DictationEvents::emit(const EventFields& fields) {
    if (ended_) return;
    // An event that cannot be written is dropped; the caller goes on either way.
    try {
        writeLine_(eventLine(fields));
    } catch (const std::exception&) {
    }
}

void DictationEvents::fail(const DictationError& error) {
    emit({{"type", "error"}, {"code", error.code}, {"message", error.message}});
    end(1);
}

void DictationEvents::finish() {
    if (finished_) return;
    finished_ = true;
    emit({{"type", "final"}, {"text", lastText_}});
    end(0);
}

void DictationEvents::end(int status) {
    if (ended_) return;
    ended_ = true;
    exitProcess_(status);
}

}  // namespace kelvane::dictate
