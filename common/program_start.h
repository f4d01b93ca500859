#pragma once
// What every program does before its own work, and the host's side of it: where commands
// come from, where lines go and how the process ends. Tests pass their own descriptors.
#include <cstdlib>
#include <functional>
#include <string_view>
#include <unistd.h>

#include "common/line_output.h"
#include "common/line_reader.h"

namespace kelvane::common {

struct ProcessSetup {
    // A host that goes away closes our standard output; the write then fails quietly
    // instead of a signal killing the process before it ends on its own terms.
    bool ignoreBrokenPipe = false;
    // Libraries below the program (Xlib, GLib, PocketSphinx) write diagnostics there.
    bool silenceStandardError = false;
};

// Call first thing in main, before any library runs.
void prepareProcess(const ProcessSetup& setup);

struct ProgramDescriptors {
    int input = STDIN_FILENO;
    std::function<void(std::string_view)> writeLine = writeOutputLine;
    std::function<void(std::string_view)> writeErrorLine = common::writeErrorLine;
    std::function<void(std::string_view)> writeBytes = writeOutputBytes;
    // Every line is written whole and unbuffered, so the real exit ends at once without
    // tearing down threads that may still be blocked reading input or polling.
    std::function<void(int)> exit = [](int status) { std::_Exit(status); };
};

// Reads `fd` on a thread of its own that is never joined: it may stay blocked in read()
// until the process ends.
void readInputDetached(int fd, std::function<void(LineReader&)> consume);

}  // namespace kelvane::common
