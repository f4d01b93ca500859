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

}  // namespace kelvane::platform::speech
