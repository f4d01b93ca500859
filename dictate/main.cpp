// kelvane-dictate [locale]: turns microphone speech into "ready", "partial", "final" and
// "error" events on standard output.
#include <cstdio>
#include <span>

#include "common/program_start.h"
#include "dictate/dictation_process.h"
#include "platform/audio_input.h"

int main(int argc, char** argv) {
    using namespace kelvane;
    common::prepareProcess({.ignoreBrokenPipe = true, .silenceStandardError = true});
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const dictate::DictatePlatform backends{platform::makeSpeechService, [] { return platform::makeAudioEngine(); }};
    return dictate::runDictate({argv, static_cast<std::size_t>(argc > 0 ? argc : 0)}, backends, {});
}
