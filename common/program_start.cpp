#include "common/program_start.h"

#include <csignal>
#include <thread>

#include "common/standard_error.h"

namespace kelvane::common {

void prepareProcess(const ProcessSetup& setup) {
    if (setup.ignoreBrokenPipe) std::signal(SIGPIPE, SIG_IGN);
    if (setup.silenceStandardError) silenceStandardError();
}

void readInputDetached(int fd, std::function<void(LineReader&)> consume) {
    std::thread([fd, consume = std::move(consume)] {
        LineReader reader(fd);
        consume(reader);
    }).detach();
}

}  // namespace kelvane::common
