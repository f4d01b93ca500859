#pragma once
// Runs kelvane-windows as the host does (no input, every line of both outputs read) and
// keeps what it printed and how it ended; a lister that does not end is killed.
#include <chrono>
#include <string>
#include <vector>

#include "testing/child_process.h"

namespace kelvane::windows {

using ListerRun = testing::ProgramRun;

inline ListerRun runLister(const std::vector<std::string>& arguments = {},
                           const testing::SpawnOptions& options = {}) {
    std::vector<std::string> argv = {KELVANE_BINARY_DIR "/windows/kelvane-windows"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return testing::runProgram(argv, options, {}, std::chrono::seconds(35));
}

}  // namespace kelvane::windows
