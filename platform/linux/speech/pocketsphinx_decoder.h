#pragma once
// One PocketSphinx decoder with its acoustic model, language model and dictionary.
// Loading takes a few tenths of a second and about 100 MB, so a process loads it once.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct ps_decoder_s;
struct cmd_ln_s;

namespace kelvane::platform::speech {

struct ModelFiles {
    std::string acousticModel;  // folder
    std::string languageModel;
    std::string dictionary;
};

// The US English model, from the folder chosen when building (by default where Debian
// installs it).
ModelFiles usEnglishModel();
bool modelFilesExist(const ModelFiles& files);

class PocketSphinxDecoder {
public:
    // Nothing when the model cannot be loaded.
    static std::unique_ptr<PocketSphinxDecoder> load(const ModelFiles& files);
    ~PocketSphinxDecoder();
    PocketSphinxDecoder(const PocketSphinxDecoder&) = delete;
    PocketSphinxDecoder& operator=(const PocketSphinxDecoder&) = delete;

    bool startUtterance();
    // `wholeUtterance`: the samples are the complete utterance, decoded in one pass with
    // the feature normalisation computed over all of it.
    bool process(std::span<const std::int16_t> samples, bool wholeUtterance);
    bool endUtterance();
    // The best word string so far, words separated by single spaces; may be empty.
    std::string hypothesis();

private:
    PocketSphinxDecoder(ps_decoder_s* decoder, cmd_ln_s* config) : decoder_(decoder), config_(config) {}

    ps_decoder_s* decoder_;
    cmd_ln_s* config_;
};

}  // namespace kelvane::platform::speech
