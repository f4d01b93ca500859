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

// The session and what it works with.
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
    Dictation dictation(platform, descriptors);
    if (!dictation.session.start(localeId)) return 1;
    auto keepRunning = asio::make_work_guard(dictation.mainContext);
    dictation.mainContext.run();
    return dictation.exitStatus;
}

}  // namespace kelvane::dictate
