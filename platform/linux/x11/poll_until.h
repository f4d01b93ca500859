#pragma once
// Waits on file descriptors until one is ready or a steady-clock deadline passes.
#include <poll.h>

#include <chrono>

namespace kelvane::platform::x11 {

// ppoll over `fds` with the time left until `deadline` (none left: returns 0 at once).
inline int pollUntil(pollfd* fds, nfds_t count, std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(nanoseconds / 1'000'000'000), static_cast<long>(nanoseconds % 1'000'000'000)};
    return ppoll(fds, count, &timeout, nullptr);
}

}  // namespace kelvane::platform::x11
