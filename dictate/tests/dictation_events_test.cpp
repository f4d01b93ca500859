#include "dictate/dictation_events.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace kelvane::dictate {
namespace {

TEST(EventLineTest, IsOneCompactObjectWithEscapedSolidusAndRawUnicode) {
    const std::string line = eventLine({{"type", "partial"}, {"text", "1/2 caf\u00E9 \u203A \"quoted\" back\\slash\nnext"}});
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find(": "), std::string::npos);
    EXPECT_NE(line.find(R"(1\/2)"), std::string::npos);
    EXPECT_NE(line.find("caf\u00E9 \u203A"), std::string::npos);
    EXPECT_NE(line.find(R"(\"quoted\")"), std::string::npos);
    const auto parsed = nlohmann::json::parse(line);
    EXPECT_EQ(parsed["text"], "1/2 caf\u00E9 \u203A \"quoted\" back\\slash\nnext");
    EXPECT_EQ(parsed.size(), 2u);
}

TEST(EventLineTest, InvalidUtf8IsRepairedNotPassedOn) {
    const auto parsed = nlohmann::json::parse(eventLine({{"type", "partial"}, {"text", "ok\xC3("}}));
    EXPECT_EQ(parsed["text"], "ok\uFFFD(");
}

TEST(DictationErrorsTest, MessagesAreExact) {
    EXPECT_EQ(noRecognizerError("").message, "This Mac has no speech recognizer for .");
    EXPECT_EQ(micStartError("No such entity").message,
              "Couldn't start the microphone: No such entity. Allow Kelvane in System Settings \u203A Privacy & "
              "Security \u203A Microphone.");
    EXPECT_EQ(speechDeniedError().code, "speech-denied");
    EXPECT_EQ(speechRestrictedError().code, "speech-restricted");
    EXPECT_EQ(speechUnavailableError().code, "speech-unavailable");
    EXPECT_EQ(recognizerOfflineError().code, "recognizer-offline");
    EXPECT_EQ(noMicError().code, "no-mic");
}

struct Recorder {
    std::vector<std::string> lines;
    std::vector<int> exits;
    DictationEvents events{[this](std::string_view line) { lines.emplace_back(line); },
                           [this](int status) { exits.push_back(status); }};
};

TEST(DictationEventsTest, FinishWritesTheLastTextOnceAndExitsWithZero) {
    Recorder r;
    r.events.setLastText("a/b");
    r.events.finish();
    r.events.setLastText("changed");
    r.events.finish();
    EXPECT_EQ(r.lines, std::vector<std::string>{R"({"text":"a\/b","type":"final"})"});
    EXPECT_EQ(r.exits, std::vector<int>{0});
    EXPECT_TRUE(r.events.finished());
}

TEST(DictationEventsTest, NothingIsWrittenOnceTheProcessWasToldToEnd) {
    Recorder r;
    r.events.fail(noMicError());
    r.events.emit({{"type", "partial"}, {"text", "late"}});
    r.events.finish();
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(r.lines[0])["code"], "no-mic");
    EXPECT_EQ(r.exits, std::vector<int>{1});
}

TEST(DictationEventsTest, FinishEndsTheProcessEvenWhenWritingFails) {
    std::vector<int> exits;
    DictationEvents events([](std::string_view) { throw std::runtime_error("closed pipe"); },
                           [&](int status) { exits.push_back(status); });
    events.finish();
    EXPECT_EQ(exits, std::vector<int>{0});
}

}  // namespace
}  // namespace kelvane::dictate
