#include "dictate/dictation_session.h"

namespace kelvane::dictate {

using platform::SpeechAuthorizationStatus;

DictationSession::DictationSession(platform::SpeechService& speech, AudioEngineFactory makeEngine,
                                   common::MainQueue& mainQueue, DictationEvents& events,
                                   InputReaderStarter startInputReader)
    : speech_(speech),
      makeEngine_(std::move(makeEngine)),
      mainQueue_(mainQueue),
      events_(events),
      startInputReader_(std::move(startInputReader)) {}

bool DictationSession::start(const std::string& localeId) {
    speech_.requestAuthorization([this](SpeechAuthorizationStatus status) {
        speechStatus_ = status;
        authorized_.release();
    });
    authorized_.acquire();

    switch (speechStatus_.load()) {
        case SpeechAuthorizationStatus::authorized:
            break;
        case SpeechAuthorizationStatus::denied:
            events_.fail(speechDeniedError());
            return false;
        case SpeechAuthorizationStatus::restricted:
            events_.fail(speechRestrictedError());
            return false;
        default:
            events_.fail(speechUnavailableError());
            return false;
    }

    recognizer_ = speech_.recognizer(localeId);
    if (!recognizer_) recognizer_ = speech_.recognizerForCurrentLocale();
    if (!recognizer_) {
        events_.fail(noRecognizerError(localeId));
        return false;
    }
    if (!recognizer_->isAvailable()) {
        events_.fail(recognizerOfflineError());
        return false;
    }

    request_ = std::make_shared<platform::SpeechAudioBufferRecognitionRequest>();
    request_->setShouldReportPartialResults(true);
    request_->setAddsPunctuation(true);

    engine_ = makeEngine_();
    const platform::AudioFormat format = engine_->inputFormat();
    if (format.channelCount == 0 || format.sampleRate == 0) {
        events_.fail(noMicError());
        return false;
    }
    engine_->installTap(tapBufferSize, format, [request = request_](const platform::AudioBuffer& buffer) {
        request->appendAudioBuffer(buffer);
    });

    task_ = recognizer_->recognitionTask(request_, [this](auto result, auto error) {
        handleResult(std::move(result), std::move(error));
    });

    engine_->prepare();
    if (auto startError = engine_->start()) {
        events_.fail(micStartError(*startError));
        return false;
    }

    events_.emit({{"type", "ready"}});
    startInputReader_([this] { mainQueue_.post([this] { stopListening(); }); });
    mainQueue_.postAfter(longestListeningTime, [this] { stopListening(); });
    return true;
}

void DictationSession::stopListening() {
    engine_->stop();
    engine_->removeTap();
    request_->endAudio();
    mainQueue_.postAfter(gracePeriodAfterAudioEnds, [this] { events_.finish(); });
}

void DictationSession::handleResult(std::optional<platform::SpeechRecognitionResult> result,
                                    std::optional<platform::SpeechRecognitionError> error) {
    if (result) {
        events_.setLastText(result->formattedString);
        if (result->isFinal) {
            events_.finish();
        } else {
            events_.emit({{"type", "partial"}, {"text", events_.lastText()}});
        }
    }
    if (error) events_.finish();
}

}  // namespace kelvane::dictate
