// kelvane-windows: prints the windows the user may record as one JSON array.
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "common/asio.h"
#include "common/dispatch_group.h"
#include "common/line_output.h"
#include "windows/window_lister.h"

namespace {

using namespace kelvane;

asio::awaitable<void> listAndPrint(platform::ShareableContent& content, bool onScreenWindowsOnly,
                                   const windows::ExclusionTables& tables, common::DispatchGroup& group) {
    const windows::ListingOutcome outcome = co_await windows::listingWork(content, onScreenWindowsOnly, tables);
    if (outcome.errorLine) {
        common::writeErrorLine(*outcome.errorLine);
        // The main thread is still waiting on the group; end here without unwinding it.
        std::_Exit(1);
    }
    common::writeOutputBytes(*outcome.document);
    group.leave();
}

}  // namespace

int main(int argc, char** argv) {
    const windows::ExclusionTables tables = windows::makeExclusionTables();
    const std::vector<std::string_view> arguments(argv + std::min(argc, 1), argv + argc);
    const bool onScreenWindowsOnly = !windows::wantsAllSpaces(arguments);
    const std::unique_ptr<platform::ShareableContent> content = platform::makeShareableContent();

    asio::thread_pool workers(1);
    common::DispatchGroup group;
    group.enter();
    asio::co_spawn(workers, listAndPrint(*content, onScreenWindowsOnly, tables, group), asio::detached);
    group.wait();
    workers.join();
    return 0;
}
