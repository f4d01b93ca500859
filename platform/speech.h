#pragma once
// Speech to text: authorisation, recognisers by locale, and recognition tasks that are
// fed live audio through a request and report their results on the caller's main queue.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audio_input.h"

namespace kelvane::platform {

enum class SpeechAuthorizationStatus : int {
    notDetermined = 0,
    denied = 1,
    restricted = 2,
    authorized = 3,
};

// Interleaved float samples copied out of one tapped buffer.
struct AudioChunk {
    AudioFormat format;
    std::vector<float> samples;
};

// The audio of one utterance. The audio thread appends, the recogniser consumes on a
// thread of its own; both sides may call at any time.
class SpeechAudioBufferRecognitionRequest {
public:
    void setShouldReportPartialResults(bool on) { reportsPartials_ = on; }
    bool shouldReportPartialResults() const { return reportsPartials_; }
    void setAddsPunctuation(bool on) { addsPunctuation_ = on; }
    bool addsPunctuation() const { return addsPunctuation_; }

    // Ignored once the audio has ended.
    void appendAudioBuffer(const AudioBuffer& buffer) {
        AudioChunk chunk{buffer.format, {buffer.samples.begin(), buffer.samples.end()}};
        std::lock_guard lock(mutex_);
        if (ended_) return;
        chunks_.push_back(std::move(chunk));
        changed_.notify_all();
    }

    void endAudio() {
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    // Consumer side: the next chunk, waiting for one; nothing once the audio has ended
    // and every chunk was taken.
    std::optional<AudioChunk> nextChunk() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ended_ || !chunks_.empty(); });
        if (chunks_.empty()) return std::nullopt;
        AudioChunk chunk = std::move(chunks_.front());
        chunks_.pop_front();
        return chunk;
    }

    // Consumer side: every chunk waiting, at least one unless the audio has ended; empty
    // once the audio has ended and every chunk was taken.
    std::vector<AudioChunk> takeChunks() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ended_ || !chunks_.empty(); });
        std::vector<AudioChunk> taken(std::make_move_iterator(chunks_.begin()), std::make_move_iterator(chunks_.end()));
        chunks_.clear();
        return taken;
    }

private:
    bool reportsPartials_ = false;
    bool addsPunctuation_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<AudioChunk> chunks_;
    bool ended_ = false;
};

struct SpeechRecognitionResult {
    std::string formattedString;  // the best transcription of the whole utterance so far
    bool isFinal = false;
};

struct SpeechRecognitionError {
    std::string localizedDescription;
};

// Called on the main queue with a result, an error, or both, any number of times.
using SpeechResultHandler = std::function<void(std::optional<SpeechRecognitionResult>,
                                               std::optional<SpeechRecognitionError>)>;

// Runs a piece of work on the program's main queue.
using MainQueuePost = std::function<void(std::function<void()>)>;

// A running recognition; it ends by itself after the request's audio has ended.
class SpeechRecognitionTask {
public:
    virtual ~SpeechRecognitionTask() = default;
};

class SpeechRecognizer {
public:
    virtual ~SpeechRecognizer() = default;
    virtual bool isAvailable() = 0;
    // Results go to `handler` through the main queue given to the speech service.
    virtual std::unique_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
        SpeechResultHandler handler) = 0;
};

class SpeechService {
public:
    virtual ~SpeechService() = default;
    // Delivers the status once, on a thread other than the caller's.
    virtual void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> handler) = 0;
    // A recogniser for the locale (for example "en-US", "de_DE"), or nothing.
    virtual std::unique_ptr<SpeechRecognizer> recognizer(std::string_view localeId) = 0;
    // A recogniser for the user's current locale, or nothing.
    virtual std::unique_ptr<SpeechRecognizer> recognizerForCurrentLocale() = 0;
};

// This platform's recogniser; its result handlers run through `mainQueue`.
std::unique_ptr<SpeechService> makeSpeechService(MainQueuePost mainQueue);

}  // namespace kelvane::platform
