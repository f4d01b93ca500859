#pragma once
// Runs kelvane-windows as the host does (no input, every line of both outputs read) and
// keeps what it printed and how it ended; a lister that does not end is killed.
#include <chrono>
#include <string>
#include <vector>

#include "testing/desktop_process.h"

namespace kelvane::windows {

struct ListerRun {
    std::string out;
    std::string err;
    testing::ExitStatus status;
};

inline ListerRun runLister(const std::vector<std::string>& arguments = {},
                           const testing::SpawnOptions& options = {}) {
    using namespace std::chrono_literals;
    std::vector<std::string> argv = {KELVANE_BINARY_DIR "/windows/kelvane-windows"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    testing::DesktopProcess lister(argv, options);
    lister.closeStdin();
    ListerRun run;
    run.out = lister.readStdoutToEnd(20s);
    run.err = lister.readStderrToEnd(5s);
    const auto status = lister.waitForExit(10s);
    run.status = status ? *status : lister.kill();
    return run;
}

}  // namespace kelvane::windows
