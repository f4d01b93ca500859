#include "platform/linux/speech/transcript_format.h"

#include <cctype>
#include <sstream>
#include <vector>

namespace kelvane::platform::speech {

namespace {

bool isPronounI(std::string_view word) { return word == "i" || word.starts_with("i'"); }

}  // namespace

std::string formatTranscript(std::string_view hypothesis, bool addsPunctuation, bool isFinal) {
    std::istringstream words{std::string(hypothesis)};
    std::string text;
    for (std::string word; words >> word;) {
        if (addsPunctuation && (text.empty() || isPronounI(word)))
            word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
        if (!text.empty()) text += ' ';
        text += word;
    }
    if (addsPunctuation && isFinal && !text.empty()) text += '.';
    return text;
}

std::string firstHeard(std::initializer_list<std::optional<std::string>> hypotheses) {
    for (const std::optional<std::string>& hypothesis : hypotheses) {
        if (hypothesis && hypothesis->find_first_not_of(" \t\n") != std::string::npos) return *hypothesis;
    }
    return {};
}

}  // namespace kelvane::platform::speech
