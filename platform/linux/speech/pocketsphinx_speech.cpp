// Speech recognition on PocketSphinx: any English locale is served by the US English
// model, loaded once per process. Each task decodes on a worker thread of its own, so
// the main queue never waits on the decoder.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/linux/speech/locale_language.h"
#include "platform/linux/speech/pocketsphinx_decoder.h"
#include "platform/linux/speech/speech_resampler.h"
#include "platform/linux/speech/transcript_format.h"
#include "platform/speech.h"

namespace kelvane::platform {

namespace {

using speech::PocketSphinxDecoder;

// How long the final answer may take beyond the streaming hypothesis after the audio ends.
constexpr std::chrono::milliseconds finalPassBudget{400};

// The one decoder of the process and the lock that gives it to one utterance at a time.
class SharedModel {
public:
    static SharedModel& english() {
        static SharedModel model(speech::usEnglishModel());
        return model;
    }

    bool installed() const { return speech::modelFilesExist(files_); }

    PocketSphinxDecoder* decoder() {
        std::lock_guard lock(loadMutex_);
        if (!triedLoading_) {
            triedLoading_ = true;
            decoder_ = PocketSphinxDecoder::load(files_);
        }
        return decoder_.get();
    }

    std::mutex& useMutex() { return useMutex_; }

private:
    explicit SharedModel(speech::ModelFiles files) : files_(std::move(files)) {}

    speech::ModelFiles files_;
    std::mutex loadMutex_;
    bool triedLoading_ = false;
    std::unique_ptr<PocketSphinxDecoder> decoder_;
    std::mutex useMutex_;
};

class PocketSphinxTask final : public SpeechRecognitionTask {
public:
    PocketSphinxTask(SharedModel& model, std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
                     SpeechResultHandler handler, MainQueuePost mainQueue)
        : model_(model), request_(std::move(request)), handler_(std::move(handler)), mainQueue_(std::move(mainQueue)) {
        worker_ = std::thread([this] { decode(); });
    }

    ~PocketSphinxTask() override {
        cancelled_ = true;
        request_->endAudio();
        worker_.join();
    }

private:
    void deliver(std::optional<SpeechRecognitionResult> result, std::optional<SpeechRecognitionError> error) {
        if (cancelled_) return;
        mainQueue_([handler = handler_, result = std::move(result), error = std::move(error)] {
            handler(result, error);
        });
    }

    void decode() {
        std::lock_guard inUse(model_.useMutex());
        PocketSphinxDecoder* decoder = model_.decoder();
        bool decoding = decoder && decoder->startUtterance();
        speech::SpeechResampler resampler;
        std::vector<std::int16_t> utterance;
        std::vector<std::int16_t> samples;
        std::string published;
        std::string lastPartialWords;
        std::chrono::steady_clock::duration decodeTime{};

        // When the decoder has fallen behind, it takes all the waiting audio at once and
        // looks at its hypothesis once, so it catches up sooner.
        for (auto chunks = request_->takeChunks(); !chunks.empty(); chunks = request_->takeChunks()) {
            if (cancelled_) return;
            samples.clear();
            for (const AudioChunk& chunk : chunks) resampler.convert(chunk, samples);
            utterance.insert(utterance.end(), samples.begin(), samples.end());
            if (!decoding) continue;
            const auto decodeStart = std::chrono::steady_clock::now();
            decoding = decoder->process(samples, false);
            decodeTime += std::chrono::steady_clock::now() - decodeStart;
            if (decoding && request_->shouldReportPartialResults()) {
                std::string words = decoder->hypothesis();
                std::string text = speech::formatTranscript(words, request_->addsPunctuation(), false);
                if (!text.empty() && text != published) {
                    published = text;
                    lastPartialWords = std::move(words);
                    deliver(SpeechRecognitionResult{text, false}, std::nullopt);
                }
            }
        }
        if (cancelled_) return;
        samples.clear();
        resampler.flush(samples);
        utterance.insert(utterance.end(), samples.begin(), samples.end());
        if (decoding) decoding = decoder->process(samples, false) && decoder->endUtterance();
        if (!decoding) {
            deliver(std::nullopt, SpeechRecognitionError{"The speech recognizer stopped working."});
            return;
        }
        // The second pass may hear nothing where the streaming one heard words; the host
        // must not see words it was shown vanish from the final text.
        std::string streamingWords = decoder->hypothesis();
        std::optional<std::string> wholeUtteranceWords;
        if (finalPassFits(decodeTime, utterance.size())) wholeUtteranceWords = finalPass(*decoder, utterance);
        const std::string words = speech::firstHeard({wholeUtteranceWords, streamingWords, lastPartialWords});
        deliver(SpeechRecognitionResult{speech::formatTranscript(words, request_->addsPunctuation(), true), true},
                std::nullopt);
    }

    // The second pass costs about as much as the streaming one took; it is made only
    // when that keeps the final answer within the budget after the audio ends.
    static bool finalPassFits(std::chrono::steady_clock::duration streamingDecodeTime, std::size_t samples) {
        return samples > 0 && streamingDecodeTime <= finalPassBudget;
    }

    // The streaming pass starts with a cold feature normalisation; decoding the whole
    // utterance again with the normalisation taken over all of it gives better words.
    static std::optional<std::string> finalPass(PocketSphinxDecoder& decoder, std::span<const std::int16_t> utterance) {
        if (utterance.empty()) return std::nullopt;
        if (!decoder.startUtterance()) return std::nullopt;
        const bool decoded = decoder.process(utterance, true);
        if (!decoder.endUtterance() || !decoded) return std::nullopt;
        return decoder.hypothesis();
    }

    SharedModel& model_;
    std::shared_ptr<SpeechAudioBufferRecognitionRequest> request_;
    SpeechResultHandler handler_;
    MainQueuePost mainQueue_;
    std::atomic<bool> cancelled_{false};
    std::thread worker_;
};

class PocketSphinxRecognizer final : public SpeechRecognizer {
public:
    PocketSphinxRecognizer(SharedModel& model, MainQueuePost mainQueue) : model_(model), mainQueue_(std::move(mainQueue)) {}

    bool isAvailable() override { return model_.decoder() != nullptr; }

    std::unique_ptr<SpeechRecognitionTask> recognitionTask(std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
                                                           SpeechResultHandler handler) override {
        return std::make_unique<PocketSphinxTask>(model_, std::move(request), std::move(handler), mainQueue_);
    }

private:
    SharedModel& model_;
    MainQueuePost mainQueue_;
};

class PocketSphinxSpeechService final : public SpeechService {
public:
    explicit PocketSphinxSpeechService(MainQueuePost mainQueue) : mainQueue_(std::move(mainQueue)) {}

    // Nothing below the sound server asks the user, so recognition is always authorised;
    // the answer still comes from another thread, as callers expect.
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> handler) override {
        std::thread([handler = std::move(handler)] { handler(SpeechAuthorizationStatus::authorized); }).detach();
    }

    std::unique_ptr<SpeechRecognizer> recognizer(std::string_view localeId) override {
        if (speech::languageOfLocale(localeId) != "en") return nullptr;
        SharedModel& model = SharedModel::english();
        if (!model.installed()) return nullptr;
        return std::make_unique<PocketSphinxRecognizer>(model, mainQueue_);
    }

    std::unique_ptr<SpeechRecognizer> recognizerForCurrentLocale() override {
        return recognizer(speech::currentLocaleId());
    }

private:
    MainQueuePost mainQueue_;
};

}  // namespace

std::unique_ptr<SpeechService> makeSpeechService(MainQueuePost mainQueue) {
    return std::make_unique<PocketSphinxSpeechService>(std::move(mainQueue));
}

}  // namespace kelvane::platform
