// Measures the cursor monitor in a desktop (bench/cursor-watch/run):
//  1. CPU time per second while the pointer sits still, next to ffmpeg's x11grab reading
//     a 32 x 32 patch with the cursor drawn in (it fetches the cursor image on every
//     frame) at the monitor's 20 polls a second, both measured over the same seconds;
//  2. the time from a cursor change to the monitor's state line, median of 50 changes at
//     random phases, next to the X server's own cursor-change event for the same change.
#include <sys/socket.h>
#include <unistd.h>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/fixed_decimals.h"
#include "common/line_output.h"
#include "testing/child_process.h"

namespace {

using kelvane::bench::fixed;
using kelvane::common::writeOutputLine;
using kelvane::testing::ChildProcess;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto idleSpan = 15s;
constexpr int changes = 50;
constexpr double idleGoalPercent = 1.0;
constexpr double latencyGoalMs = 60.0;

// User plus system CPU time the process has used so far.
std::chrono::duration<double> cpuTime(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i <= 13; ++i) fields >> skip;
    long long user = 0;
    long long system = 0;
    fields >> user >> system;
    return std::chrono::duration<double>(static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK)));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void movePointer(int x, int y) {
    ChildProcess mover({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
    mover.waitForExit(5s);
}

// Records when the X server announces that the displayed cursor changed.
class CursorEventListener {
public:
    CursorEventListener() : connection_(xcb_connect(nullptr, nullptr)) {
        xcb_xfixes_query_version_reply_t* version = xcb_xfixes_query_version_reply(
            connection_, xcb_xfixes_query_version(connection_, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr);
        std::free(version);
        eventBase_ = xcb_get_extension_data(connection_, &xcb_xfixes_id)->first_event;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        xcb_xfixes_select_cursor_input(connection_, root, XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
        xcb_flush(connection_);
        thread_ = std::thread([this] { listen(); });
    }

    ~CursorEventListener() {
        // Shutting the socket down wakes the listener with a connection error; the
        // connection is freed only once the listener has let go of it.
        ::shutdown(xcb_get_file_descriptor(connection_), SHUT_RDWR);
        thread_.join();
        xcb_disconnect(connection_);
    }

    // The time of the event numbered `index` (counting from 0), waiting for it.
    std::optional<Clock::time_point> eventTime(std::size_t index, Clock::duration timeout) {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, timeout, [&] { return times_.size() > index; })) return std::nullopt;
        return times_[index];
    }

    std::size_t count() {
        std::lock_guard lock(mutex_);
        return times_.size();
    }

private:
    void listen() {
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
            const auto now = Clock::now();
            if ((event->response_type & 0x7f) == eventBase_ + XCB_XFIXES_CURSOR_NOTIFY) {
                std::lock_guard lock(mutex_);
                times_.push_back(now);
                arrived_.notify_all();
            }
            std::free(event);
        }
    }

    xcb_connection_t* connection_;
    std::uint8_t eventBase_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Clock::time_point> times_;
};

void measureIdleCost(const std::string& monitorPath, const std::string& display) {
    ChildProcess monitor({monitorPath});
    if (!monitor.readStdoutLine(10s)) {
        writeOutputLine("idle: the monitor printed no state");
        return;
    }
    ChildProcess peer({"ffmpeg", "-nostdin", "-loglevel", "quiet", "-f", "x11grab", "-framerate", "20",
                         "-draw_mouse", "1", "-video_size", "32x32", "-i", display + "+884,484", "-f", "null", "-"});
    std::this_thread::sleep_for(2s);  // past start-up work of both

    const auto wallStart = Clock::now();
    const auto oursStart = cpuTime(monitor.pid());
    const auto peerStart = cpuTime(peer.pid());
    std::this_thread::sleep_for(idleSpan);
    const std::chrono::duration<double> wall = Clock::now() - wallStart;
    const double oursPercent = 100 * (cpuTime(monitor.pid()) - oursStart) / wall;
    const double peerPercent = 100 * (cpuTime(peer.pid()) - peerStart) / wall;

    writeOutputLine("idle pointer, " + fixed(wall.count(), 1) + " s:");
    writeOutputLine("  kelvane-cursor-watch          " + fixed(oursPercent, 3) + " % of one core");
    writeOutputLine("  ffmpeg x11grab 20 fps + cursor " + fixed(peerPercent, 3) + " % of one core");
    writeOutputLine("  ffmpeg/ours " + fixed(peerPercent / std::max(oursPercent, 1e-9)) + ", goal/ours " +
                    fixed(idleGoalPercent / std::max(oursPercent, 1e-9)) + " (goal " + fixed(idleGoalPercent, 1) +
                    " %)");
    monitor.writeLine("stop");
    monitor.waitForExit(5s);
    peer.kill();
}

void measureLatency(const std::string& monitorPath, const std::string& windowMakerPath) {
    ChildProcess maker({windowMakerPath, "--window", "x=100", "y=100", "w=1600", "h=850", "cursor=text"});
    const auto window = maker.readStdoutLine(10s);
    if (!window) {
        writeOutputLine("latency: no test window");
        return;
    }
    movePointer(900, 500);
    CursorEventListener listener;
    ChildProcess monitor({monitorPath});
    if (monitor.readStdoutLine(10s) != "STATE:text") {
        writeOutputLine("latency: the monitor did not see the test window's cursor");
        return;
    }

    std::mt19937 random(7);
    std::uniform_int_distribution<int> phase(60, 160);
    std::vector<double> ours;
    std::vector<double> events;
    for (int i = 0; i < changes; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(phase(random)));
        const bool toPointer = i % 2 == 0;
        const std::size_t eventIndex = listener.count();
        const auto sent = Clock::now();
        maker.writeLine("cursor " + *window + (toPointer ? " pointer" : " text"));
        const auto state = monitor.readStdoutLine(5s);
        const auto seen = Clock::now();
        maker.readStdoutLine(5s);  // "ok"
        if (state != (toPointer ? "STATE:pointer" : "STATE:text")) {
            writeOutputLine("latency: change " + std::to_string(i) + " gave " + state.value_or("nothing"));
            return;
        }
        ours.push_back(std::chrono::duration<double, std::milli>(seen - sent).count());
        if (const auto event = listener.eventTime(eventIndex, 5s)) {
            events.push_back(std::chrono::duration<double, std::milli>(*event - sent).count());
        }
    }
    monitor.writeLine("stop");
    monitor.waitForExit(5s);

    const double oursMedian = median(ours);
    writeOutputLine("cursor change to state line, " + std::to_string(ours.size()) + " changes:");
    writeOutputLine("  kelvane-cursor-watch   median " + fixed(oursMedian) + " ms, max " +
                    fixed(*std::max_element(ours.begin(), ours.end())) + " ms");
    if (!events.empty()) {
        const double eventMedian = median(events);
        writeOutputLine("  XFixes cursor event    median " + fixed(eventMedian, 3) + " ms (" +
                        std::to_string(events.size()) + " events)");
        writeOutputLine("  ours/event " + fixed(oursMedian / std::max(eventMedian, 1e-6), 1));
    }
    writeOutputLine("  goal/ours " + fixed(latencyGoalMs / oursMedian) + " (goal median under " +
                    fixed(latencyGoalMs, 0) + " ms)");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string build = argc > 1 ? argv[1] : KELVANE_BINARY_DIR;
    const std::string monitorPath = build + "/cursor-watch/kelvane-cursor-watch";
    const std::string windowMakerPath = build + "/testing/window_maker/kelvane-test-window";
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) {
        writeOutputLine("run inside a desktop: bench/cursor-watch/run");
        return 1;
    }
    measureLatency(monitorPath, windowMakerPath);
    movePointer(900, 500);
    measureIdleCost(monitorPath, display);
    return 0;
}
