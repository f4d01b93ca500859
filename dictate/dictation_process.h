#pragma once
// The dictation program from its arguments to its exit status.
#include <functional>
#include <memory>
#include <span>

#include "common/program_start.h"
#include "dictate/dictation_session.h"
#include "platform/speech.h"

namespace kelvane::dictate {

struct DictatePlatform {
    std::function<std::unique_ptr<platform::SpeechService>(platform::MainQueuePost)> makeSpeechService;
    DictationSession::AudioEngineFactory makeAudioEngine;
};

// Writes the events until the session ends the process through `descriptors.exit`;
// returns 1 when the session cannot start. Should the exit return, this returns its
// status and tears the session down, so the input must by then have reached a stop line
// or its end and the recogniser must have stopped.
int runDictate(std::span<const char* const> arguments, DictatePlatform platform,
               common::ProgramDescriptors descriptors);

}  // namespace kelvane::dictate
