// kelvane-dictate run as the host runs it, inside a throwaway desktop whose virtual
// microphone hears the sentences that flite speaks.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "testing/child_process.h"
#include "testing/word_errors.h"

namespace kelvane::dictate {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kelvane::testing::ChildProcess;
using kelvane::testing::ExitStatus;
using kelvane::testing::SpawnOptions;
using kelvane::testing::wordErrors;

const std::string program = KELVANE_BINARY_DIR "/dictate/kelvane-dictate";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The user's locale as LANG alone says it.
SpawnOptions userLocaleOnly(const std::string& locale) {
    SpawnOptions options;
    options.setEnvironment["LANG"] = locale;
    options.unsetEnvironment = {"LC_ALL", "LC_MESSAGES"};
    return options;
}

void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

std::vector<std::string> wordsOf(const std::string& text) {
    std::string cleaned;
    for (char c : text) cleaned += std::isalnum(static_cast<unsigned char>(c)) || c == '\'' ? std::tolower(c) : ' ';
    std::istringstream in(cleaned);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Checks one event line: a flat JSON object of strings with the keys of its type.
nlohmann::json parseEvent(const std::string& line) {
    EXPECT_EQ(line.find('\r'), std::string::npos);
    const auto event = nlohmann::json::parse(line);
    EXPECT_TRUE(event.is_object()) << line;
    for (const auto& [key, value] : event.items()) EXPECT_TRUE(value.is_string()) << line;
    const std::string type = event.value("type", "");
    if (type == "ready") {
        EXPECT_EQ(event.size(), 1u) << line;
    }
    if (type == "partial" || type == "final") {
        EXPECT_TRUE(event.size() == 2 && event.contains("text")) << line;
    }
    return event;
}

struct Utterance {
    std::vector<nlohmann::json> events;
    std::optional<ExitStatus> status;
    std::string standardError;
};

class DictateDesktopTest : public ::testing::Test {
protected:
    static inline fs::path folder;
    static inline const std::vector<std::pair<std::string, std::string>> sentences{
        {"kal16", "please send the report to my manager before noon"},
        {"rms", "the weather is nice today so we can walk to the park"},
        {"kal16", "open the new document and read the first page"},
        {"rms", "i will call you back in ten minutes"},
        {"kal16", "we need to buy milk bread and eggs"},
    };

    static void SetUpTestSuite() {
        folder = environment("KELVANE_TEST_DESKTOP_DIR");
        ASSERT_FALSE(folder.empty()) << "run inside scripts/with-desktop";
        for (std::size_t i = 0; i < sentences.size(); ++i) {
            run("flite -voice " + sentences[i].first + " -t '" + sentences[i].second + "' -o '" +
                wavPath(i).string() + "'");
        }
    }

    static fs::path wavPath(std::size_t index) { return folder / ("sentence" + std::to_string(index) + ".wav"); }

    // Starts the program, plays the sentence into the microphone, then sends "stop".
    Utterance dictate(std::size_t index) {
        Utterance utterance;
        ChildProcess process({program});
        auto first = process.readStdoutLine(20s);
        if (!first) return utterance;
        utterance.events.push_back(parseEvent(*first));
        if (utterance.events.back()["type"] != "ready") return utterance;

        run("paplay -d '" + environment("KELVANE_TEST_MIC_FEED_SINK") + "' '" + wavPath(index).string() + "'");
        // Like a user who lets go once the words are on screen: "stop" goes when the
        // partials have settled, so a slow machine does not cut the recogniser short.
        const auto settleDeadline = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < settleDeadline) {
            auto line = process.readStdoutLine(1s);
            if (!line) break;
            utterance.events.push_back(parseEvent(*line));
        }
        process.writeLine("stop");
        while (auto line = process.readStdoutLine(15s)) utterance.events.push_back(parseEvent(*line));
        utterance.status = process.waitForExit(5s);
        utterance.standardError = process.readStderrToEnd(5s);
        return utterance;
    }
};

TEST_F(DictateDesktopTest, SpokenSentencesGiveReadyPartialsAndAnAccurateFinal) {
    std::size_t errors = 0;
    std::size_t words = 0;
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        SCOPED_TRACE(sentences[i].second);
        const Utterance utterance = dictate(i);
        ASSERT_GE(utterance.events.size(), 3u);
        EXPECT_EQ(utterance.events.front()["type"], "ready");
        EXPECT_EQ(utterance.events.back()["type"], "final");
        for (std::size_t e = 1; e + 1 < utterance.events.size(); ++e) EXPECT_EQ(utterance.events[e]["type"], "partial");
        EXPECT_EQ(utterance.status, ExitStatus::exitCode(0));
        EXPECT_EQ(utterance.standardError, "");

        const std::string text = utterance.events.back()["text"];
        const auto reference = wordsOf(sentences[i].second);
        errors += wordErrors(reference, wordsOf(text));
        words += reference.size();
        std::cout << "heard: " << text << "\n";
    }
    const double wordErrorRate = double(errors) / double(words);
    std::cout << "word error rate over " << sentences.size() << " sentences: " << wordErrorRate << "\n";
    RecordProperty("word_error_rate", std::to_string(wordErrorRate));
    EXPECT_LE(wordErrorRate, 0.15);
}

TEST_F(DictateDesktopTest, EndOfInputRightAfterReadyGivesAnEmptyFinalWithinTheGracePeriod) {
    ChildProcess process({program});
    const auto ready = process.readStdoutLine(20s);
    ASSERT_TRUE(ready);
    EXPECT_EQ(parseEvent(*ready)["type"], "ready");
    const auto closed = std::chrono::steady_clock::now();
    process.closeStdin();
    const auto final = process.readStdoutLine(6s);
    ASSERT_TRUE(final) << "no final event within the grace period";
    EXPECT_LE(std::chrono::steady_clock::now() - closed, 4500ms);
    EXPECT_EQ(parseEvent(*final), (nlohmann::json{{"type", "final"}, {"text", ""}}));
    EXPECT_EQ(process.waitForExit(5s), ExitStatus::exitCode(0));
    EXPECT_EQ(process.readStdoutToEnd(5s), "");
    EXPECT_EQ(process.readStderrToEnd(5s), "");
}

TEST_F(DictateDesktopTest, HostThatStopsReadingStillGetsAnOrdinaryEnd) {
    ChildProcess process({program});
    const auto ready = process.readStdoutLine(20s);
    ASSERT_TRUE(ready);
    process.closeStdout();
    process.writeLine("stop");
    EXPECT_EQ(process.waitForExit(6s), ExitStatus::exitCode(0));
}

TEST_F(DictateDesktopTest, UnreachableSoundServerIsMicStartWithItsReason) {
    SpawnOptions noSoundServer;
    noSoundServer.setEnvironment["PULSE_SERVER"] = "unix:" + (folder / "nobody-listens").string();
    ChildProcess process({program}, noSoundServer);
    const auto line = process.readStdoutLine(20s);
    ASSERT_TRUE(line);
    const auto event = parseEvent(*line);
    EXPECT_EQ(event["code"], "mic-start");
    EXPECT_EQ(event["message"],
              "Couldn't start the microphone: Connection refused. Allow Kelvane in System Settings \u203A Privacy & "
              "Security \u203A Microphone.");
    EXPECT_EQ(process.waitForExit(5s), ExitStatus::exitCode(1));
    EXPECT_EQ(process.readStdoutToEnd(5s), "");
    EXPECT_EQ(process.readStderrToEnd(5s), "");
}

TEST_F(DictateDesktopTest, UnservedLocaleFallsBackToTheUsersLocaleOrNamesTheRequestedOne) {
    // The C locale of services and containers is the system's built-in English.
    for (const char* userLocale : {"en_US.UTF-8", "C.UTF-8"}) {
        ChildProcess process({program, "de-DE"}, userLocaleOnly(userLocale));
        const auto line = process.readStdoutLine(20s);
        ASSERT_TRUE(line) << userLocale;
        EXPECT_EQ(parseEvent(*line)["type"], "ready") << userLocale;
        process.writeLine("stop");
        const auto final = process.readStdoutLine(6s);
        ASSERT_TRUE(final);
        EXPECT_EQ(parseEvent(*final)["type"], "final");
    }
    {
        ChildProcess process({program, "de-DE"}, userLocaleOnly("fr_FR.UTF-8"));
        const auto line = process.readStdoutLine(20s);
        ASSERT_TRUE(line);
        EXPECT_EQ(parseEvent(*line), (nlohmann::json{{"type", "error"},
                                                     {"code", "no-recognizer"},
                                                     {"message", "This Mac has no speech recognizer for de-DE."}}));
        EXPECT_EQ(process.waitForExit(5s), ExitStatus::exitCode(1));
    }
}

TEST_F(DictateDesktopTest, EmbeddedPropertyListReadsBackUnchanged) {
    const fs::path dumped = folder / "Info.plist";
    run("objcopy --dump-section __info_plist='" + dumped.string() + "' '" + program + "' '" +
        (folder / "program-copy").string() + "'");
    auto contents = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string embedded = contents(dumped);
    EXPECT_EQ(embedded, contents(KELVANE_SOURCE_DIR "/dictate/Info.plist"));
    EXPECT_NE(embedded.find("<string>kelvane-dictate</string>"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::dictate
