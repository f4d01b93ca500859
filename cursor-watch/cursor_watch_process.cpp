#include "cursor-watch/cursor_watch_process.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/asio.h"
#include "common/main_queue_call.h"
#include "common/poll_timer.h"
#include "cursor-watch/accessibility_probe.h"
#include "cursor-watch/cursor_image_export.h"
#include "cursor-watch/cursor_matching.h"
#include "cursor-watch/monitor_input.h"
#include "cursor-watch/state_printer.h"

namespace kelvane::cursorwatch {
namespace {

constexpr auto pollInterval = std::chrono::milliseconds(50);

// Everything the poll touches. Never destroyed: see runCursorWatch.
struct Monitor {
    Monitor(std::unique_ptr<platform::AccessibilityToolkit> toolkit, std::vector<KnownCursorSignature> known,
            std::unique_ptr<platform::SystemCursor> cursor, std::function<void(std::string_view)> writeLine)
        : accessibility(std::move(toolkit)),
          probe(*accessibility),
          systemCursor(std::move(cursor)),
          // The display connection is only ever used from the main thread; the
          // accessibility fallback is asked on the poll's thread.
          classifier(
              std::move(known),
              [this] { return common::callOnQueue(mainQueue, [this] { return systemCursor->current(); }); },
              [this] { return probe.accessibilityCursorMatch(); }),
          printer(std::move(writeLine)),
          timer(pollQueue.get_executor(), pollInterval,
                [this] { printer.emitStateIfNeeded(classifier.currentSystemCursorType()); }) {}

    asio::io_context mainQueue;
    std::unique_ptr<platform::AccessibilityToolkit> accessibility;
    AccessibilityProbe probe;
    std::unique_ptr<platform::SystemCursor> systemCursor;
    CursorTypeClassifier classifier;
    StatePrinter printer;
    asio::thread_pool pollQueue{1};
    common::PollTimer timer;
};

}  // namespace

int runCursorWatch(std::span<const char* const> arguments, CursorWatchPlatform platform,
                   common::ProgramDescriptors descriptors) {
    std::unique_ptr<platform::AccessibilityToolkit> accessibility = platform.makeAccessibility();
    std::vector<KnownCursorSignature> known;
    {
        std::unique_ptr<platform::StandardCursors> standardCursors = platform.makeStandardCursors();
        known = knownCursorSignatures(*standardCursors);
        if (exportImagesRequested(arguments)) {
            exportCursorImages(*standardCursors, descriptors.writeLine);
            return 0;
        }
    }

    auto* monitor = new Monitor(std::move(accessibility), std::move(known), platform.makeSystemCursor(),
                                std::move(descriptors.writeLine));
    monitor->timer.start();
    auto stop = [monitor, exit = std::move(descriptors.exit)](common::LineReader& reader) {
        waitForStopLine(reader);
        exit(0);
        monitor->mainQueue.stop();
    };
    common::readInputDetached(descriptors.input, std::move(stop));

    auto keepServing = asio::make_work_guard(monitor->mainQueue);
    monitor->mainQueue.run();
    return 0;
}

}  // namespace kelvane::cursorwatch
