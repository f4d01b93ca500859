// kelvane-cursor-watch: reports the kind of the system pointer whenever it changes, or
// with "--export-images" prints the images of the cursors it knows. Never reports an
// error and always ends with status 0.
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "common/asio.h"
#include "common/line_output.h"
#include "common/line_reader.h"
#include "common/standard_error.h"
#include "cursor-watch/accessibility_probe.h"
#include "cursor-watch/cursor_image_export.h"
#include "cursor-watch/cursor_matching.h"
#include "common/main_queue_call.h"
#include "cursor-watch/monitor_input.h"
#include "common/poll_timer.h"
#include "cursor-watch/state_printer.h"
#include "platform/accessibility.h"
#include "platform/standard_cursors.h"
#include "platform/system_cursor.h"

namespace cw = kelvane::cursorwatch;
namespace platform = kelvane::platform;
using kelvane::common::writeOutputLine;

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(50);

}  // namespace

int main(int argc, char** argv) {
    // A host that goes away closes our standard output; the write then fails quietly and
    // the closed standard input ends us with status 0, instead of a signal killing us.
    std::signal(SIGPIPE, SIG_IGN);
    kelvane::common::silenceStandardError();

    asio::io_context mainQueue;

    // The fallback when the cursor image cannot be had: the element under the pointer
    // and the focused element, asked on the poll's thread.
    std::unique_ptr<platform::AccessibilityToolkit> accessibility = platform::makeAccessibilityToolkit();
    cw::AccessibilityProbe probe(*accessibility);
    std::function<std::optional<std::string>()> accessibilityCursorMatch = [&probe] {
        return probe.accessibilityCursorMatch();
    };

    std::vector<cw::KnownCursorSignature> known;
    {
        std::unique_ptr<platform::StandardCursors> standardCursors = platform::makeStandardCursors();
        known = cw::knownCursorSignatures(*standardCursors);
        if (cw::exportImagesRequested(std::span<const char* const>(argv, static_cast<std::size_t>(argc)))) {
            cw::exportCursorImages(*standardCursors, writeOutputLine);
            return 0;
        }
    }

    // The display connection is only ever used from the main thread.
    std::unique_ptr<platform::SystemCursor> systemCursor = platform::makeSystemCursor();
    cw::CursorTypeClassifier classifier(
        std::move(known), [&] { return kelvane::common::callOnQueue(mainQueue, [&] { return systemCursor->current(); }); },
        std::move(accessibilityCursorMatch));
    cw::StatePrinter printer(writeOutputLine);

    // Two workers: the standard-input reader blocks one of them for the whole run.
    asio::thread_pool utilityQueue(2);
    kelvane::common::PollTimer timer(utilityQueue.get_executor(), pollInterval,
                        [&] { printer.emitStateIfNeeded(classifier.currentSystemCursorType()); });
    timer.start();

    asio::post(utilityQueue, [] {
        kelvane::common::LineReader reader;
        cw::waitForStopLine(reader);
        // Every line is already written; end at once without tearing down the threads
        // that may still be polling.
        std::_Exit(0);
    });

    auto keepServing = asio::make_work_guard(mainQueue);
    mainQueue.run();
    return 0;
}
