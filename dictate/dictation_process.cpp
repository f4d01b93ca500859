#include "dictate/dictation_process.h"

#include <atomic>
#include <string>

#include "common/asio.h"
#include "common/main_queue.h"
#include "dictate/command_line.h"
#include "dictate/dictation_events.h"
#include "dictate/stop_command.h"

namespace kelvane::dictate {
namespace {

// The session and what it works with. Never destroyed once started: see runDictate.
struct Dictation {
    Dictation(DictatePlatform& platform, common::ProgramDescriptors& descriptors)
        : mainQueue(mainContext),
          events(std::move(descriptors.writeLine),
                 [this, exit = std::move(descriptors.exit)](int status) {
                     exit(status);
                     exitStatus = status;
                     mainContext.stop();
                 }),
          speech(platform.makeSpeechService([this](std::function<void()> work) { mainQueue.post(std::move(work)); })),
          session(*speech, std::move(platform.makeAudioEngine), mainQueue, events,
                  [input = descriptors.input](std::function<void()> onStop) {
                      common::readInputDetached(input, [onStop = std::move(onStop)](common::LineReader& reader) {
                          waitForStopOrEndOfInput(reader);
                          onStop();
                      });
                  }) {}

    asio::io_context mainContext;
    common::AsioMainQueue mainQueue;
    DictationEvents events;
    std::atomic<int> exitStatus{0};
    std::unique_ptr<platform::SpeechService> speech;
    DictationSession session;
};

}  // namespace

int runDictate(std::span<const char* const> arguments, DictatePlatform platform,
               common::ProgramDescriptors descriptors) {
    const std::string localeId = localeIdFromArguments(arguments);
    auto dictation = std::make_unique<Dictation>(platform, descriptors);
    if (!dictation->session.start(localeId)) return 1;
    Dictation& running = *dictation.release();
    auto keepRunning = asio::make_work_guard(running.mainContext);
    running.mainContext.run();
    return running.exitStatus;
}

}  // namespace kelvane::dictate
