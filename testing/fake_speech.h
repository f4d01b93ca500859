#pragma once
// A speech service for tests: the authorisation answer, which locales have a recogniser,
// availability, and a task whose results the test delivers by hand through the main queue.
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/speech.h"

namespace kelvane::testing {

class FakeSpeechService : public platform::SpeechService {
public:
    // What the fake hands out; the test sets these before use.
    platform::SpeechAuthorizationStatus authorizationStatus = platform::SpeechAuthorizationStatus::authorized;
    std::set<std::string> localesWithRecognizer{"en-IN"};
    bool currentLocaleHasRecognizer = false;
    bool available = true;

    // What the code under test asked for.
    std::vector<std::string> requestedLocales;
    int currentLocaleRequests = 0;
    std::shared_ptr<platform::SpeechAudioBufferRecognitionRequest> taskRequest;
    platform::SpeechResultHandler resultHandler;

    explicit FakeSpeechService(platform::MainQueuePost mainQueue) : mainQueue_(std::move(mainQueue)) {}

    void requestAuthorization(std::function<void(platform::SpeechAuthorizationStatus)> handler) override {
        // Answered from another thread, like the real service.
        std::thread([handler = std::move(handler), status = authorizationStatus] { handler(status); }).join();
    }

    std::unique_ptr<platform::SpeechRecognizer> recognizer(std::string_view localeId) override {
        requestedLocales.emplace_back(localeId);
        if (!localesWithRecognizer.count(std::string(localeId))) return nullptr;
        return std::make_unique<Recognizer>(*this);
    }

    std::unique_ptr<platform::SpeechRecognizer> recognizerForCurrentLocale() override {
        ++currentLocaleRequests;
        if (!currentLocaleHasRecognizer) return nullptr;
        return std::make_unique<Recognizer>(*this);
    }

    // Delivers one call of the result handler through the main queue, as the real
    // recogniser does.
    void deliver(std::optional<platform::SpeechRecognitionResult> result,
                 std::optional<platform::SpeechRecognitionError> error = std::nullopt) {
        mainQueue_([handler = resultHandler, result, error] { handler(result, error); });
    }
    void deliverPartial(const std::string& text) { deliver(platform::SpeechRecognitionResult{text, false}); }
    void deliverFinal(const std::string& text) { deliver(platform::SpeechRecognitionResult{text, true}); }
    void deliverError(const std::string& description) {
        deliver(std::nullopt, platform::SpeechRecognitionError{description});
    }

private:
    class Task : public platform::SpeechRecognitionTask {};

    class Recognizer : public platform::SpeechRecognizer {
    public:
        explicit Recognizer(FakeSpeechService& service) : service_(service) {}
        bool isAvailable() override { return service_.available; }
        std::unique_ptr<platform::SpeechRecognitionTask> recognitionTask(
            std::shared_ptr<platform::SpeechAudioBufferRecognitionRequest> request,
            platform::SpeechResultHandler handler) override {
            service_.taskRequest = std::move(request);
            service_.resultHandler = std::move(handler);
            return std::make_unique<Task>();
        }

    private:
        FakeSpeechService& service_;
    };

    platform::MainQueuePost mainQueue_;
};

}  // namespace kelvane::testing
