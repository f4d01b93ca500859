#include "dictate/dictation_session.h"

#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "dictate/dictation_process.h"
#include "dictate/tests/fake_main_queue.h"
#include "testing/fake_audio_input.h"
#include "testing/fake_speech.h"

namespace kelvane::dictate {
namespace {

using namespace std::chrono_literals;
using platform::SpeechAuthorizationStatus;
using testing::FakeMainQueue;
using Calls = std::vector<std::string>;

// One program run: the session wired to fakes, with the lines it wrote and how it ended.
// The ending halts the main queue, as the end of the process would.
struct ProgramRun {
    FakeMainQueue queue;
    std::vector<std::string> lines;
    std::vector<int> exits;
    DictationEvents events{[this](std::string_view line) { lines.emplace_back(line); },
                           [this](int status) {
                               exits.push_back(status);
                               queue.halt();
                           }};
    kelvane::testing::FakeSpeechService speech{[this](std::function<void()> work) { queue.post(std::move(work)); }};
    platform::AudioFormat micFormat{1, 48000};
    std::optional<std::string> micStartError;
    kelvane::testing::FakeAudioEngine* engine = nullptr;
    std::function<void()> inputReaderStop;
    DictationSession session{speech,
                             [this] {
                                 auto made = std::make_unique<kelvane::testing::FakeAudioEngine>();
                                 made->format = micFormat;
                                 made->startError = micStartError;
                                 engine = made.get();
                                 return made;
                             },
                             queue, events, [this](std::function<void()> onStop) { inputReaderStop = std::move(onStop); }};

    void expectOnlyError(const std::string& code, const std::string& message) const {
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(nlohmann::json::parse(lines[0]),
                  (nlohmann::json{{"type", "error"}, {"code", code}, {"message", message}}));
        EXPECT_EQ(exits, std::vector<int>{1});
    }
};

class DictationSessionTest : public ::testing::Test, protected ProgramRun {
protected:
    void expectFinal(const std::string& text) {
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(nlohmann::json::parse(lines.back()), (nlohmann::json{{"type", "final"}, {"text", text}}));
        EXPECT_EQ(exits, std::vector<int>{0});
    }

    void startListening() {
        ASSERT_TRUE(session.start("en-IN"));
        ASSERT_EQ(lines, std::vector<std::string>{R"({"type":"ready"})"});
    }
};

TEST(DictationSetUpTest, EachRefusedAuthorisationEndsWithItsOwnError) {
    const struct {
        SpeechAuthorizationStatus status;
        const char* code;
        const char* message;
    } cases[] = {
        {SpeechAuthorizationStatus::denied, "speech-denied",
         "Speech Recognition is off for Kelvane. Turn it on in System Settings \u203A Privacy & Security \u203A "
         "Speech Recognition."},
        {SpeechAuthorizationStatus::restricted, "speech-restricted", "Speech Recognition is not allowed on this Mac."},
        {SpeechAuthorizationStatus::notDetermined, "speech-unavailable", "Speech Recognition did not answer."},
        {static_cast<SpeechAuthorizationStatus>(7), "speech-unavailable", "Speech Recognition did not answer."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        ProgramRun run;
        run.speech.authorizationStatus = c.status;
        EXPECT_FALSE(run.session.start("en-IN"));
        run.expectOnlyError(c.code, c.message);
        EXPECT_TRUE(run.speech.requestedLocales.empty());
        EXPECT_EQ(run.engine, nullptr);
    }
}

TEST(DictationSetUpTest, InputWithoutChannelsOrRateIsNoMicAndTheEngineNeverStarts) {
    for (const platform::AudioFormat format : {platform::AudioFormat{0, 48000}, platform::AudioFormat{2, 0}}) {
        SCOPED_TRACE(format.channelCount);
        ProgramRun run;
        run.micFormat = format;
        EXPECT_FALSE(run.session.start("en-IN"));
        run.expectOnlyError("no-mic", "No microphone found. Check System Settings \u203A Sound \u203A Input.");
        ASSERT_NE(run.engine, nullptr);
        EXPECT_EQ(run.engine->calls, Calls{"inputFormat"});
    }
}

TEST_F(DictationSessionTest, MissingRecogniserFallsBackSilentlyToTheCurrentLocale) {
    speech.localesWithRecognizer = {};
    speech.currentLocaleHasRecognizer = true;
    ASSERT_TRUE(session.start("de-DE"));
    EXPECT_EQ(speech.requestedLocales, std::vector<std::string>{"de-DE"});
    EXPECT_EQ(speech.currentLocaleRequests, 1);
    EXPECT_EQ(lines, std::vector<std::string>{R"({"type":"ready"})"});
}

TEST_F(DictationSessionTest, NoRecogniserAnywhereNamesTheRequestedLocale) {
    speech.localesWithRecognizer = {};
    EXPECT_FALSE(session.start("fr-CA"));
    expectOnlyError("no-recognizer", "This Mac has no speech recognizer for fr-CA.");
    EXPECT_EQ(speech.currentLocaleRequests, 1);
    EXPECT_EQ(engine, nullptr);
}

TEST_F(DictationSessionTest, UnavailableRecogniserIsOffline) {
    speech.available = false;
    EXPECT_FALSE(session.start("en-IN"));
    expectOnlyError("recognizer-offline",
                    "Dictation isn't available right now. Check the internet connection, or turn on Dictation in "
                    "System Settings \u203A Keyboard.");
    EXPECT_EQ(engine, nullptr);
}

TEST_F(DictationSessionTest, EngineStartFailureIsMicStartWithTheDescription) {
    micStartError = "Connection refused";
    EXPECT_FALSE(session.start("en-IN"));
    expectOnlyError("mic-start",
                    "Couldn't start the microphone: Connection refused. Allow Kelvane in System Settings \u203A "
                    "Privacy & Security \u203A Microphone.");
    EXPECT_EQ(inputReaderStop, nullptr);
}

TEST_F(DictationSessionTest, ReadyAfterTheTapAndTheStartWithEveryBufferGoingToTheRequest) {
    micFormat = {2, 44100};
    startListening();
    EXPECT_EQ(engine->calls, (Calls{"inputFormat", "installTap", "prepare", "start"}));
    EXPECT_EQ(engine->tapBufferSize, 1024u);
    EXPECT_EQ(engine->tapFormat.channelCount, 2u);
    EXPECT_EQ(engine->tapFormat.sampleRate, 44100);
    ASSERT_NE(speech.taskRequest, nullptr);
    EXPECT_TRUE(speech.taskRequest->shouldReportPartialResults());
    EXPECT_TRUE(speech.taskRequest->addsPunctuation());
    EXPECT_NE(inputReaderStop, nullptr);

    engine->pushBuffer(1024, 0.5f);
    speech.taskRequest->endAudio();
    const auto chunk = speech.taskRequest->nextChunk();
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->samples, std::vector<float>(2048, 0.5f));
    EXPECT_EQ(chunk->format.sampleRate, 44100);
    EXPECT_FALSE(speech.taskRequest->nextChunk());
}

TEST_F(DictationSessionTest, StopEndsTheAudioAndTheGraceTimerFinishesWithTheLastPartial) {
    startListening();
    speech.deliverPartial("hello");
    speech.deliverPartial("hello world");
    queue.runDue();

    inputReaderStop();
    queue.runDue();
    EXPECT_EQ(engine->calls, (Calls{"inputFormat", "installTap", "prepare", "start", "stop", "removeTap"}));
    EXPECT_FALSE(engine->hasTap());
    EXPECT_FALSE(speech.taskRequest->nextChunk()) << "the request was not told that the audio ended";

    queue.advance(3999ms);
    EXPECT_TRUE(exits.empty());
    queue.advance(1ms);
    EXPECT_EQ(lines.size(), 4u);
    EXPECT_EQ(nlohmann::json::parse(lines[2]), (nlohmann::json{{"type", "partial"}, {"text", "hello world"}}));
    expectFinal("hello world");
}

TEST_F(DictationSessionTest, StopBeforeAnySpeechGivesAnEmptyFinal) {
    startListening();
    inputReaderStop();
    queue.advance(4s);
    EXPECT_EQ(lines.size(), 2u);
    expectFinal("");
}

TEST_F(DictationSessionTest, ListeningEndsByItselfAfterTwoMinutes) {
    startListening();
    queue.advance(119'999ms);
    EXPECT_EQ(engine->calls.back(), "start");
    queue.advance(1ms);
    EXPECT_EQ(engine->calls.back(), "removeTap");
    EXPECT_TRUE(exits.empty());
    speech.deliverPartial("still talking");
    queue.advance(4s);
    expectFinal("still talking");
}

TEST_F(DictationSessionTest, FinalResultBeforeStopEndsAtOnce) {
    startListening();
    speech.deliverPartial("one half");
    speech.deliverFinal("one half is 1/2");
    queue.runDue();
    expectFinal("one half is 1/2");
    EXPECT_NE(lines.back().find(R"(1\/2)"), std::string::npos) << lines.back();

    inputReaderStop();
    queue.advance(5s);
    EXPECT_EQ(lines.size(), 3u) << "nothing may follow the final event";
}

TEST_F(DictationSessionTest, RecognitionErrorAfterPartialsEndsWithTheLastPartialAndStatusZero) {
    startListening();
    speech.deliverPartial("first words");
    speech.deliverError("The recognizer failed.");
    queue.runDue();
    for (const auto& line : lines) EXPECT_EQ(line.find(R"("error")"), std::string::npos) << line;
    expectFinal("first words");
}

TEST_F(DictationSessionTest, FinishHappensOnceWhenStopAndTheTimeLimitOverlap) {
    startListening();
    queue.advance(118s);
    inputReaderStop();
    queue.advance(2s);  // the time limit stops listening a second time inside the grace period
    EXPECT_EQ(engine->calls, (Calls{"inputFormat", "installTap", "prepare", "start", "stop", "removeTap", "stop",
                                    "removeTap"}));
    queue.advance(10s);
    EXPECT_EQ(lines.size(), 2u);
    expectFinal("");
}

TEST_F(DictationSessionTest, ResultWithAnErrorInOneCallFinishesOnce) {
    startListening();
    speech.deliver(platform::SpeechRecognitionResult{"last words", true},
                   platform::SpeechRecognitionError{"ended"});
    queue.runDue();
    EXPECT_EQ(lines.size(), 2u);
    expectFinal("last words");
}

TEST_F(DictationSessionTest, RepeatedPartialsAreEachReported) {
    startListening();
    speech.deliverPartial("same");
    speech.deliverPartial("same");
    queue.runDue();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], lines[2]);
    EXPECT_TRUE(exits.empty());
}

// The whole program on its real main queue: the stop line read from the input ends the
// listening, and the grace period later the empty final ends the process with status 0.
TEST(DictationProgramTest, StopLineOnTheInputEndsWithTheFinalAfterTheGracePeriod) {
    struct Output {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::string> lines;
        int exitStatus = -1;
    };
    // Shared, because the finished program's objects and threads are left running.
    auto output = std::make_shared<Output>();
    int input[2];
    ASSERT_EQ(::pipe(input), 0);

    common::ProgramDescriptors descriptors;
    descriptors.input = input[0];
    descriptors.writeLine = [output](std::string_view line) {
        std::lock_guard lock(output->mutex);
        output->lines.emplace_back(line);
        output->changed.notify_all();
    };
    descriptors.exit = [output](int status) {
        std::lock_guard lock(output->mutex);
        output->exitStatus = status;
    };
    const DictatePlatform platform{
        [](platform::MainQueuePost post) { return std::make_unique<kelvane::testing::FakeSpeechService>(post); },
        [] { return std::make_unique<kelvane::testing::FakeAudioEngine>(); }};
    int returned = -1;
    std::thread program([&] {
        const std::vector<const char*> arguments{"kelvane-dictate", "en-IN"};
        returned = runDictate(arguments, platform, descriptors);
    });
    {
        std::unique_lock lock(output->mutex);
        output->changed.wait_for(lock, 20s, [&] { return !output->lines.empty(); });
        EXPECT_EQ(output->lines, std::vector<std::string>{R"({"type":"ready"})"});
    }
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_EQ(::write(input[1], "stop\n", 5), 5);
    program.join();
    EXPECT_GE(std::chrono::steady_clock::now() - stopped, gracePeriodAfterAudioEnds);
    EXPECT_EQ(output->lines.back(), R"({"text":"","type":"final"})");
    EXPECT_EQ(output->exitStatus, 0);
    EXPECT_EQ(returned, 0);
    ::close(input[1]);
    ::close(input[0]);
}

}  // namespace
}  // namespace kelvane::dictate
