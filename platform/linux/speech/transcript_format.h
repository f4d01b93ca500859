#pragma once
// Written form of the decoder's word string: the decoder gives lower-case words without
// punctuation, a dictated sentence should read like one.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::platform::speech {

// Joins the words with single spaces. With punctuation on, the first word and the
// pronoun "I" (also in "i'm", "i'll", ...) are capitalised and a final transcription ends
// with a full stop. An empty hypothesis stays empty.
std::string formatTranscript(std::string_view hypothesis, bool addsPunctuation, bool isFinal);

// The first hypothesis that holds a word, in the order given (the most trusted first);
// empty when none does.
std::string firstHeard(std::initializer_list<std::optional<std::string>> hypotheses);

}  // namespace kelvane::platform::speech
