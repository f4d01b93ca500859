// bench-click-player SINK TIMES — plays silence into SINK without a break, and a click in
// its place each time a line starting with "flash" arrives on standard input. For each
// click, appends to TIMES the wall-clock seconds at which its line arrived and at which
// the sink plays the click, so the benchmark knows when each click really sounded
// instead of counting a player's start-up as the recorder's error.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "common/line_output.h"
#include "platform/host_clock.h"
#include "testing/click_player.h"

namespace {

std::int64_t realtimeNowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::string seconds(std::int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", static_cast<double>(ns) / 1e9);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    using kelvane::platform::monotonicNanoseconds;
    if (argc != 3) {
        kelvane::common::writeErrorLine("usage: bench-click-player SINK TIMES");
        return 2;
    }
    kelvane::testing::ClickPlayer player;
    if (auto error = player.start(argv[1])) {
        kelvane::common::writeErrorLine("bench-click-player: " + *error);
        return 1;
    }
    std::ofstream times(argv[2], std::ios::app);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.rfind("flash", 0) != 0) continue;
        const std::int64_t reportNs = realtimeNowNs();
        const std::size_t before = player.clickTimes().size();
        player.click();
        // The click goes out with the next block the sink asks for, a few milliseconds on.
        for (int wait = 0; wait < 200 && player.clickTimes().size() == before; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto played = player.clickTimes();
        if (played.size() == before) continue;
        const std::int64_t playedRealtimeNs = played.back() + (realtimeNowNs() - monotonicNanoseconds());
        times << seconds(reportNs) << ' ' << seconds(playedRealtimeNs) << std::endl;
    }
    return 0;
}
