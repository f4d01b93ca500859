// The real recogniser on speech made by flite: the words come back, partials arrive on
// the main queue as they change, and the final result closes the utterance.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "common/asio.h"
#include "platform/speech.h"
#include "testing/word_errors.h"

namespace kelvane::platform {
namespace {

namespace fs = std::filesystem;
using kelvane::testing::wordErrors;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "kelvane-speech-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        path = pattern;
    }
    ~TempFolder() {
        std::error_code error;
        fs::remove_all(path, error);
    }
    fs::path path;
};

// The sentence spoken by the voice, as 48 kHz stereo float, like the microphone gives it.
std::vector<float> spokenSentence(const fs::path& folder, const std::string& voice, const std::string& sentence) {
    const fs::path wav = folder / (voice + ".wav");
    const fs::path raw = folder / (voice + ".f32");
    const std::string command = "flite -voice " + voice + " -t '" + sentence + "' -o '" + wav.string() +
                                "' && sox '" + wav.string() + "' -t f32 -r 48000 -c 2 '" + raw.string() + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("could not make speech: " + command);
    std::ifstream in(raw, std::ios::binary);
    std::vector<float> samples(fs::file_size(raw) / sizeof(float));
    in.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * sizeof(float)));
    return samples;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

struct Outcome {
    std::vector<std::string> partials;
    std::optional<SpeechRecognitionResult> final;
    std::optional<SpeechRecognitionError> error;
    bool allOnMainThread = true;
};

// Feeds the samples in tap-sized buffers from another thread and runs the main queue
// until the task has given its final answer.
Outcome recognise(const std::vector<float>& samples) {
    asio::io_context mainContext;
    auto speech = makeSpeechService([&](std::function<void()> work) { asio::post(mainContext, std::move(work)); });
    auto recognizer = speech->recognizer("en-IN");
    if (!recognizer || !recognizer->isAvailable()) throw std::runtime_error("no US English model");

    auto request = std::make_shared<SpeechAudioBufferRecognitionRequest>();
    request->setShouldReportPartialResults(true);
    request->setAddsPunctuation(true);
    Outcome outcome;
    const auto mainThread = std::this_thread::get_id();
    auto task = recognizer->recognitionTask(request, [&](auto result, auto error) {
        outcome.allOnMainThread = outcome.allOnMainThread && std::this_thread::get_id() == mainThread;
        if (result && result->isFinal) outcome.final = result;
        if (result && !result->isFinal) outcome.partials.push_back(result->formattedString);
        if (error) outcome.error = error;
        if (outcome.final || outcome.error) mainContext.stop();
    });
    std::thread audio([&] {
        constexpr std::size_t frames = 1024;
        for (std::size_t at = 0; at < samples.size(); at += frames * 2) {
            const std::size_t count = std::min(frames * 2, samples.size() - at);
            request->appendAudioBuffer(AudioBuffer{{2, 48000}, {samples.data() + at, count},
                                                   static_cast<std::uint32_t>(count / 2), 0});
            // Four times faster than the microphone would.
            std::this_thread::sleep_for(std::chrono::microseconds(5000));
        }
        request->endAudio();
    });
    auto guard = asio::make_work_guard(mainContext);
    mainContext.run_for(std::chrono::seconds(60));
    audio.join();
    return outcome;
}

TEST(PocketSphinxSpeechTest, EnglishLocalesShareTheModelAndOtherLanguagesHaveNone) {
    auto speech = makeSpeechService([](std::function<void()>) {});
    EXPECT_NE(speech->recognizer("en-IN"), nullptr);
    EXPECT_NE(speech->recognizer("en_GB.UTF-8"), nullptr);
    EXPECT_EQ(speech->recognizer("de-DE"), nullptr);
    EXPECT_EQ(speech->recognizer(""), nullptr);
    auto english = speech->recognizer("en-US");
    ASSERT_NE(english, nullptr);
    EXPECT_TRUE(english->isAvailable());
}

TEST(PocketSphinxSpeechTest, SpokenSentencesComeBackAsTextWithPartialsOnTheMainQueue) {
    TempFolder folder;
    const struct {
        const char* voice;
        const char* sentence;
        const char* expected;
    } cases[] = {
        {"kal16", "please send the report to my manager before noon",
         "Please send the report to my manager before noon."},
        {"rms", "i will call you back in ten minutes", "I will call you back in ten minutes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.voice);
        const Outcome outcome = recognise(spokenSentence(folder.path, c.voice, c.sentence));
        EXPECT_FALSE(outcome.error);
        ASSERT_TRUE(outcome.final);
        // The decoder may miss a word of synthetic speech; more than one is a fault.
        EXPECT_LE(wordErrors(wordsOf(c.expected), wordsOf(outcome.final->formattedString)), 1u)
            << outcome.final->formattedString;
        EXPECT_EQ(outcome.final->formattedString.front(), c.expected[0]);
        EXPECT_EQ(outcome.final->formattedString.back(), '.');
        EXPECT_TRUE(outcome.allOnMainThread);
        ASSERT_GE(outcome.partials.size(), 1u);
        for (std::size_t i = 1; i < outcome.partials.size(); ++i)
            EXPECT_NE(outcome.partials[i], outcome.partials[i - 1]) << "a partial was sent without a change";
    }
}

TEST(PocketSphinxSpeechTest, AudioThatEndsAtOnceGivesAnEmptyFinalResult) {
    const Outcome outcome = recognise({});
    EXPECT_FALSE(outcome.error);
    ASSERT_TRUE(outcome.final);
    EXPECT_EQ(outcome.final->formattedString, "");
    EXPECT_TRUE(outcome.partials.empty());
}

}  // namespace
}  // namespace kelvane::platform
