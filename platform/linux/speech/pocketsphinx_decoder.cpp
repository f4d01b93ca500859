#include "platform/linux/speech/pocketsphinx_decoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <filesystem>

#ifndef KELVANE_SPEECH_MODEL_DIR
#error "KELVANE_SPEECH_MODEL_DIR must name the folder of the US English model"
#endif

namespace kelvane::platform::speech {

ModelFiles usEnglishModel() {
    const std::string folder = KELVANE_SPEECH_MODEL_DIR;
    return {folder + "/en-us", folder + "/en-us.lm.bin", folder + "/cmudict-en-us.dict"};
}

bool modelFilesExist(const ModelFiles& files) {
    std::error_code error;
    return std::filesystem::is_directory(files.acousticModel, error) &&
           std::filesystem::is_regular_file(files.languageModel, error) &&
           std::filesystem::is_regular_file(files.dictionary, error);
}

std::unique_ptr<PocketSphinxDecoder> PocketSphinxDecoder::load(const ModelFiles& files) {
    // The library logs at length to standard error unless told not to.
    err_set_logfp(nullptr);
    if (!modelFilesExist(files)) return nullptr;
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", files.acousticModel.c_str(), "-lm",
                                   files.languageModel.c_str(), "-dict", files.dictionary.c_str(), "-logfn",
                                   "/dev/null", nullptr);
    if (!config) return nullptr;
    ps_decoder_t* decoder = ps_init(config);
    if (!decoder) {
        cmd_ln_free_r(config);
        return nullptr;
    }
    return std::unique_ptr<PocketSphinxDecoder>(new PocketSphinxDecoder(decoder, config));
}

PocketSphinxDecoder::~PocketSphinxDecoder() {
    ps_free(decoder_);
    cmd_ln_free_r(config_);
}

bool PocketSphinxDecoder::startUtterance() { return ps_start_utt(decoder_) >= 0; }

bool PocketSphinxDecoder::process(std::span<const std::int16_t> samples, bool wholeUtterance) {
    if (samples.empty()) return true;
    return ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, wholeUtterance ? TRUE : FALSE) >= 0;
}

bool PocketSphinxDecoder::endUtterance() { return ps_end_utt(decoder_) >= 0; }

std::string PocketSphinxDecoder::hypothesis() {
    int32 score = 0;
    const char* words = ps_get_hyp(decoder_, &score);
    return words ? words : "";
}

}  // namespace kelvane::platform::speech
