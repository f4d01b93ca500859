// kelvane-test-window: makes real X windows for desktop tests.
//
//   kelvane-test-window [--keep] [--window KEY=VALUE...]...
//
// Each --window group makes one window (keys in window_spec.h: title, class, type,
// state, desktop, x, y, w, h, cursor, content, ...). Then commands are read from
// standard input, one a line:
//   create KEY=VALUE...        make a window
//   close ID | move ID X Y | resize ID W H | cursor ID NAME | title ID TEXT
//   color ID #rrggbb | minimize ID | activate ID | quit
//   withdraw ID                unmap it, as an application hiding in the tray does
//   show ID                    map it again
// Replies on standard output, one line per window made or command: the new window's
// XID in decimal once it is on screen (and managed, with a window manager), "ok", or
// "error <reason>". Besides replies: "flash <xid> <CLOCK_MONOTONIC ns>" whenever a
// flash window turns white, and "closed <xid>" when the window manager closed one.
// The program ends at the end of standard input (unless --keep), on "quit", SIGTERM
// or SIGINT.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <xcb/xcb_cursor.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/line_output.h"
#include "testing/window_maker/test_window.h"
#include "testing/window_maker/window_spec.h"
#include "testing/window_maker/x_session.h"

namespace kelvane::testing {
namespace {

using common::writeErrorLine;
using common::writeOutputLine;
using Clock = TestWindow::Clock;

class WindowMaker {
public:
    WindowMaker() {
        if (xcb_cursor_context_new(session_.connection(), session_.screen(), &cursors_) < 0) cursors_ = nullptr;
        uint32_t rootMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(session_.connection(), session_.root(), XCB_CW_EVENT_MASK, &rootMask);
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGTERM);
        sigaddset(&stopSignals, SIGINT);
        sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
        signals_ = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    }

    ~WindowMaker() {
        windows_.clear();
        if (cursors_) xcb_cursor_context_free(cursors_);
        if (signals_ >= 0) close(signals_);
    }

    void create(const WindowSpec& spec) {
        auto window = std::make_unique<TestWindow>(session_, cursors_, spec);
        if (!spec.cursor.empty() && !cursors_) writeErrorLine("kelvane-test-window: no cursor support");
        TestWindow& made = *window;
        windows_[made.id()] = std::move(window);
        std::string missed = made.show([this](const auto& done, auto timeout) { return waitUntil(done, timeout); });
        if (!missed.empty()) {
            writeErrorLine("kelvane-test-window: window " + std::to_string(made.id()) + " not" + missed + " in time");
        }
        writeOutputLine(std::to_string(made.id()));
    }

    // Runs until standard input ends (unless keepRunning), "quit" or a stop signal.
    void run(bool keepRunning) {
        bool inputOpen = true;
        while (!stopping_) {
            pollfd fds[3] = {{session_.fileDescriptor(), POLLIN, 0},
                             {signals_, POLLIN, 0},
                             {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
            poll(fds, 3, millisecondsToNextChange());
            if (fds[1].revents & POLLIN) return;
            handleEvents();
            if (xcb_connection_has_error(session_.connection())) {
                writeErrorLine("kelvane-test-window: lost the X server");
                return;
            }
            animate();
            if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
                inputOpen = readInput();
                if (!inputOpen && !keepRunning) return;
            }
        }
    }

private:
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        auto deadline = Clock::now() + timeout;
        while (!done()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            pollfd fd{session_.fileDescriptor(), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), 50)));
            handleEvents();
        }
        return true;
    }

    void handleEvents() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(session_.connection())) {
            handle(event);
            std::free(event);
        }
    }

    void handle(xcb_generic_event_t* event) {
        switch (event->response_type & 0x7f) {
            case XCB_EXPOSE: {
                auto* expose = reinterpret_cast<xcb_expose_event_t*>(event);
                if (expose->count == 0) paintAndReport(expose->window, Clock::now());
                break;
            }
            case XCB_CLIENT_MESSAGE: {
                auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == session_.atom("WM_PROTOCOLS") &&
                    message->data.data32[0] == session_.atom("WM_DELETE_WINDOW") && windows_.erase(message->window)) {
                    writeOutputLine("closed " + std::to_string(message->window));
                }
                break;
            }
            default:
                break;
        }
    }

    void paintAndReport(xcb_window_t id, Clock::time_point now) {
        auto found = windows_.find(id);
        if (found == windows_.end()) return;
        if (found->second->paint(now)) {
            // The flash is on screen once the server has handled the fill.
            session_.sync();
            auto shown = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
            writeOutputLine("flash " + std::to_string(id) + " " + std::to_string(shown.count()));
        }
    }

    int millisecondsToNextChange() {
        auto now = Clock::now();
        std::optional<Clock::time_point> next;
        for (const auto& [id, window] : windows_) {
            auto change = window->nextChange(now);
            if (change && (!next || *change < *next)) next = change;
        }
        if (!next) return -1;
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
        return static_cast<int>(std::max<int64_t>(wait, 0));
    }

    void animate() {
        auto now = Clock::now();
        for (auto& [id, window] : windows_) {
            if (!window->nextChange(now)) continue;
            paintAndReport(id, now);
        }
    }

    bool readInput() {
        char chunk[4096];
        ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) return false;
        pending_.append(chunk, static_cast<size_t>(got));
        size_t end;
        while (!stopping_ && (end = pending_.find('\n')) != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            try {
                command(splitCommandWords(line));
            } catch (const SpecError& error) {
                writeOutputLine(std::string("error ") + error.what());
            }
        }
        return true;
    }

    TestWindow& window(const std::vector<std::string>& words, size_t argumentCount) {
        if (words.size() != argumentCount + 2) {
            throw SpecError(words[0] + " takes a window id and " + std::to_string(argumentCount) + " more word(s)");
        }
        auto found = windows_.find(static_cast<xcb_window_t>(parseInteger(words[1], 0, UINT32_MAX)));
        if (found == windows_.end()) throw SpecError("no window " + words[1]);
        return *found->second;
    }

    void command(const std::vector<std::string>& words) {
        if (words.empty()) return;
        const std::string& verb = words[0];
        if (verb == "create") {
            create(parseWindowSpec({words.begin() + 1, words.end()}));
            return;
        }
        if (verb == "quit") {
            stopping_ = true;
        } else if (verb == "close") {
            window(words, 0);
            windows_.erase(static_cast<xcb_window_t>(parseInteger(words[1], 0, UINT32_MAX)));
            session_.sync();
        } else if (verb == "move") {
            window(words, 2).move(static_cast<int>(parseInteger(words[2], -32768, 32767)),
                                  static_cast<int>(parseInteger(words[3], -32768, 32767)));
        } else if (verb == "resize") {
            window(words, 2).resize(static_cast<uint32_t>(parseInteger(words[2], 1, 32767)),
                                    static_cast<uint32_t>(parseInteger(words[3], 1, 32767)));
        } else if (verb == "cursor") {
            if (!window(words, 1).setCursor(words[2])) throw SpecError("no cursor named " + words[2]);
        } else if (verb == "title") {
            window(words, 1).setTitle(words[2]);
        } else if (verb == "color") {
            window(words, 1).setColor(parseColor(words[2]));
        } else if (verb == "minimize") {
            std::string missed = window(words, 0).minimize([this](const auto& d, auto t) { return waitUntil(d, t); });
            if (!missed.empty()) throw SpecError("the window manager did not minimise window " + words[1]);
        } else if (verb == "withdraw") {
            std::string missed = window(words, 0).withdraw([this](const auto& d, auto t) { return waitUntil(d, t); });
            if (!missed.empty()) throw SpecError("window " + words[1] + " not" + missed + " in time");
        } else if (verb == "show") {
            std::string missed = window(words, 0).show([this](const auto& d, auto t) { return waitUntil(d, t); });
            if (!missed.empty()) throw SpecError("window " + words[1] + " not" + missed + " in time");
        } else if (verb == "activate") {
            window(words, 0).activate();
        } else {
            throw SpecError("unknown command \"" + verb + "\"");
        }
        session_.sync();
        writeOutputLine("ok");
    }

    XSession session_;
    xcb_cursor_context_t* cursors_ = nullptr;
    std::map<xcb_window_t, std::unique_ptr<TestWindow>> windows_;
    int signals_ = -1;
    bool stopping_ = false;
    std::string pending_;
};

}  // namespace
}  // namespace kelvane::testing

int main(int argc, char** argv) {
    using namespace kelvane::testing;
    bool keepRunning = false;
    std::vector<std::vector<std::string>> groups;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--keep") {
            keepRunning = true;
        } else if (argument == "--window") {
            groups.emplace_back();
        } else if (!groups.empty()) {
            groups.back().push_back(argument);
        } else {
            kelvane::common::writeErrorLine("usage: kelvane-test-window [--keep] [--window KEY=VALUE...]...");
            return 2;
        }
    }
    try {
        std::vector<WindowSpec> specs;
        for (const auto& group : groups) specs.push_back(parseWindowSpec(group));
        WindowMaker maker;
        for (const WindowSpec& spec : specs) maker.create(spec);
        maker.run(keepRunning);
    } catch (const std::exception& error) {
        kelvane::common::writeErrorLine(std::string("kelvane-test-window: ") + error.what());
        return 1;
    }
    return 0;
}
