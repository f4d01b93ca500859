#pragma once
// One utterance: authorisation, recogniser, microphone tap, then listening until "stop",
// the end of input, the time limit, or the recogniser's own final answer.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <semaphore>
#include <string>

#include "dictate/dictation_events.h"
#include "common/main_queue.h"
#include "platform/audio_input.h"
#include "platform/speech.h"

namespace kelvane::dictate {

inline constexpr std::string_view defaultLocaleId = "en-IN";
inline constexpr std::uint32_t tapBufferSize = 1024;
inline constexpr std::chrono::seconds longestListeningTime{120};
inline constexpr std::chrono::seconds gracePeriodAfterAudioEnds{4};

class DictationSession {
public:
    using AudioEngineFactory = std::function<std::unique_ptr<platform::AudioEngine>()>;
    // Starts reading the host's input on a background thread; `onStop` is called there
    // once, for a stop command or the end of input.
    using InputReaderStarter = std::function<void(std::function<void()> onStop)>;

    DictationSession(platform::SpeechService& speech, AudioEngineFactory makeEngine, common::MainQueue& mainQueue,
                     DictationEvents& events, InputReaderStarter startInputReader);

    // Set-up on the main thread. True once "ready" was sent and listening goes on from the
    // main queue; false after `fail` ended the process.
    bool start(const std::string& localeId);

    // Ends the audio and gives the recogniser the grace period to answer. Not guarded:
    // a second call repeats the steps and schedules one more `finish`.
    void stopListening();

private:
    void handleResult(std::optional<platform::SpeechRecognitionResult> result,
                      std::optional<platform::SpeechRecognitionError> error);

    platform::SpeechService& speech_;
    AudioEngineFactory makeEngine_;
    common::MainQueue& mainQueue_;
    DictationEvents& events_;
    InputReaderStarter startInputReader_;

    // Written by the authorisation handler on its own thread before it releases
    // `authorized_`; read by the main thread only after acquiring it.
    std::atomic<platform::SpeechAuthorizationStatus> speechStatus_{platform::SpeechAuthorizationStatus::notDetermined};
    std::binary_semaphore authorized_{0};

    std::unique_ptr<platform::SpeechRecognizer> recognizer_;
    std::shared_ptr<platform::SpeechAudioBufferRecognitionRequest> request_;
    std::unique_ptr<platform::AudioEngine> engine_;
    std::unique_ptr<platform::SpeechRecognitionTask> task_;
};

}  // namespace kelvane::dictate
