#include "common/standard_error.h"

#include <fcntl.h>
#include <unistd.h>

namespace kelvane::common {

void silenceStandardError() {
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere < 0) return;
    // With standard error closed at start, /dev/null got its number; children still
    // inherit it.
    if (nowhere == STDERR_FILENO) {
        ::fcntl(nowhere, F_SETFD, 0);
        return;
    }
    ::dup2(nowhere, STDERR_FILENO);
    ::close(nowhere);
}

}  // namespace kelvane::common
