#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "platform/linux/speech/locale_language.h"
#include "platform/linux/speech/transcript_format.h"

namespace kelvane::platform::speech {
namespace {

TEST(TranscriptFormatTest, PunctuationCapitalisesTheSentenceAndThePronounAndEndsTheFinalText) {
    EXPECT_EQ(formatTranscript("i think i'm late", true, false), "I think I'm late");
    EXPECT_EQ(formatTranscript("i think i'm late", true, true), "I think I'm late.");
    EXPECT_EQ(formatTranscript("send it to ian", true, true), "Send it to ian.");
    EXPECT_EQ(formatTranscript("  two   spaces ", true, false), "Two spaces");
}

TEST(TranscriptFormatTest, WithoutPunctuationTheWordsStayAsTheyCame) {
    EXPECT_EQ(formatTranscript("i think  so", false, true), "i think so");
    EXPECT_EQ(formatTranscript("", true, true), "");
    EXPECT_EQ(formatTranscript("   ", true, true), "");
}

TEST(TranscriptFormatTest, TheFinalWordsAreTheFirstHypothesisThatHeardAnything) {
    EXPECT_EQ(firstHeard({"the second pass", "the streaming", "the partial"}), "the second pass");
    EXPECT_EQ(firstHeard({"", "the streaming", "the partial"}), "the streaming");
    EXPECT_EQ(firstHeard({std::nullopt, " \t", "the partial"}), "the partial");
    EXPECT_EQ(firstHeard({std::nullopt, "", ""}), "");
}

TEST(LocaleLanguageTest, LanguageSubtagOfTheUsualSpellings) {
    EXPECT_EQ(languageOfLocale("en-IN"), "en");
    EXPECT_EQ(languageOfLocale("EN_us.UTF-8"), "en");
    EXPECT_EQ(languageOfLocale("de"), "de");
    EXPECT_EQ(languageOfLocale("en@euro"), "en");
    EXPECT_EQ(languageOfLocale(""), "");
    EXPECT_EQ(languageOfLocale("-US"), "");
    EXPECT_EQ(languageOfLocale("e1-US"), "");
}

// Sets the locale variables for one test and puts the old values back.
class LocaleEnvironment {
public:
    explicit LocaleEnvironment(std::map<std::string, std::optional<std::string>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
            set(name, value);
        }
    }
    ~LocaleEnvironment() {
        for (const auto& [name, value] : saved_) set(name, value);
    }

private:
    static void set(const std::string& name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LocaleLanguageTest, CurrentLocaleFollowsThePrecedenceOfTheVariables) {
    {
        LocaleEnvironment env({{"LC_ALL", std::nullopt}, {"LC_MESSAGES", "de_DE.UTF-8"}, {"LANG", "en_GB.UTF-8"}});
        EXPECT_EQ(currentLocaleId(), "de_DE.UTF-8");
    }
    {
        LocaleEnvironment env({{"LC_ALL", "fr_CA"}, {"LC_MESSAGES", "de_DE.UTF-8"}, {"LANG", "en_GB.UTF-8"}});
        EXPECT_EQ(currentLocaleId(), "fr_CA");
    }
    {
        LocaleEnvironment env({{"LC_ALL", ""}, {"LC_MESSAGES", std::nullopt}, {"LANG", "C.UTF-8"}});
        EXPECT_EQ(languageOfLocale(currentLocaleId()), "en");
    }
    {
        LocaleEnvironment env({{"LC_ALL", "POSIX"}, {"LC_MESSAGES", "de_DE.UTF-8"}, {"LANG", "fr_FR"}});
        EXPECT_EQ(languageOfLocale(currentLocaleId()), "en");
    }
    {
        LocaleEnvironment env({{"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", std::nullopt}});
        EXPECT_EQ(languageOfLocale(currentLocaleId()), "en");
    }
}

}  // namespace
}  // namespace kelvane::platform::speech
