#include "windows/windows_process.h"

#include "common/asio.h"
#include "common/dispatch_group.h"
#include "windows/window_lister.h"

namespace kelvane::windows {
namespace {

asio::awaitable<void> listAndPrint(platform::ShareableContent& content, bool onScreenWindowsOnly,
                                   const ExclusionTables& tables, common::ProgramDescriptors& descriptors,
                                   int& status, common::DispatchGroup& group) {
    const ListingOutcome outcome = co_await listingWork(content, onScreenWindowsOnly, tables);
    if (outcome.errorLine) {
        descriptors.writeErrorLine(*outcome.errorLine);
        // The main thread is still waiting on the group; end here without unwinding it.
        descriptors.exit(1);
        status = 1;
    } else {
        descriptors.writeBytes(*outcome.document);
    }
    group.leave();
}

}  // namespace

int runWindows(std::span<const std::string_view> arguments, WindowsPlatform platform,
               common::ProgramDescriptors descriptors) {
    const ExclusionTables tables = makeExclusionTables();
    const bool onScreenWindowsOnly = !wantsAllSpaces(arguments);
    const std::unique_ptr<platform::ShareableContent> content = platform.makeShareableContent();

    int status = 0;
    asio::thread_pool workers(1);
    common::DispatchGroup group;
    group.enter();
    asio::co_spawn(workers, listAndPrint(*content, onScreenWindowsOnly, tables, descriptors, status, group),
                   asio::detached);
    group.wait();
    workers.join();
    return status;
}

}  // namespace kelvane::windows
