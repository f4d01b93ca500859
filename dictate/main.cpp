// kelvane-dictate [locale]: turns microphone speech into "ready", "partial", "final" and
// "error" events on standard output.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/asio.h"
#include "common/line_output.h"
#include "common/line_reader.h"
#include "common/standard_error.h"
#include "dictate/command_line.h"
#include "dictate/dictation_events.h"
#include "dictate/dictation_session.h"
#include "common/main_queue.h"
#include "dictate/stop_command.h"
#include "platform/audio_input.h"
#include "platform/speech.h"

namespace {

void startStandardInputReader(std::function<void()> onStop) {
    std::thread([onStop = std::move(onStop)] {
        kelvane::common::LineReader reader(STDIN_FILENO);
        kelvane::dictate::waitForStopOrEndOfInput(reader);
        onStop();
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvane;
    common::silenceStandardError();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A host that stopped reading must not kill the process before it ends on its own terms.
    std::signal(SIGPIPE, SIG_IGN);

    const std::string localeId =
        dictate::localeIdFromArguments({argv, static_cast<std::size_t>(argc > 0 ? argc : 0)});

    asio::io_context mainContext;
    auto keepRunning = asio::make_work_guard(mainContext);
    common::AsioMainQueue mainQueue(mainContext);

    // Every event line is written whole by one write, so nothing waits in a buffer when
    // the process ends; worker threads (recogniser, microphone, input reader) are simply
    // abandoned at exit.
    dictate::DictationEvents events([](std::string_view line) { common::writeOutputLine(line); },
                                    [](int status) { std::_Exit(status); });

    auto speech = platform::makeSpeechService([&mainQueue](std::function<void()> work) {
        mainQueue.post(std::move(work));
    });
    dictate::DictationSession session(*speech, [] { return platform::makeAudioEngine(); }, mainQueue, events,
                                      startStandardInputReader);
    if (!session.start(localeId)) return 1;
    mainContext.run();
    return 0;
}
