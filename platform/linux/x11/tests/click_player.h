#pragma once
// Plays silence into a Pulse sink and, when asked, a short click that the sink plays at
// a given CLOCK_MONOTONIC time (within a few milliseconds): the audio half of an A/V
// sync check.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace kelvane::platform::x11::testing {

class ClickPlayer {
public:
    explicit ClickPlayer(const std::string& sink);
    ~ClickPlayer();
    ClickPlayer(const ClickPlayer&) = delete;
    ClickPlayer& operator=(const ClickPlayer&) = delete;

    void clickAt(std::int64_t monotonicNs) { clickAt_ = monotonicNs; }

private:
    void play(const std::string& sink);

    std::atomic<std::int64_t> clickAt_{0};
    std::atomic<bool> running_{true};
    std::thread thread_;
};

std::int64_t monotonicNowNs();

}  // namespace kelvane::platform::x11::testing
