#pragma once
// Runs testing/gtk_test_window/gtk_test_window.py as a child process for desktop tests
// and tells where its widgets are on screen. Needs KELVANE_SOURCE_DIR (every test target
// gets it) and a desktop with an accessibility bus (scripts/with-desktop).
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "testing/child_process.h"

namespace kelvane::testing {

struct WidgetRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int centerX() const { return x + width / 2; }
    int centerY() const { return y + height / 2; }
};

class GtkTestWindow {
public:
    // Debian's interpreter: the one first on PATH may lack the GTK bindings.
    explicit GtkTestWindow(const std::string& title = "Kelvane accessibility test window")
        : child_({"/usr/bin/python3", std::string(KELVANE_SOURCE_DIR) + "/testing/gtk_test_window/gtk_test_window.py",
                  title}) {
        std::string layout = child_.readStdoutLine(std::chrono::seconds(60)).value_or("");
        try {
            layout_ = nlohmann::json::parse(layout);
        } catch (const nlohmann::json::exception&) {
            throw std::runtime_error("gtk test window: no layout, got \"" + layout + "\"");
        }
    }

    pid_t pid() const { return child_.pid(); }
    unsigned long xid() const { return layout_.at("xid").get<unsigned long>(); }

    // One of: entry, enabledButton, disabledButton, link, splitter, splitterHandle,
    // crop, plain.
    WidgetRect rect(const std::string& widget) const {
        const nlohmann::json& r = layout_.at("widgets").at(widget);
        return {r.at("x").get<int>(), r.at("y").get<int>(), r.at("width").get<int>(), r.at("height").get<int>()};
    }

    // "focus entry", "focus none", ...; true when the window answered "ok".
    bool command(const std::string& line) {
        return child_.writeLine(line) && child_.readStdoutLine(std::chrono::seconds(20)) == "ok";
    }

private:
    ChildProcess child_;
    nlohmann::json layout_;
};

// Moves the X pointer and waits until the server has done it. xdotool's wait never ends
// when the pointer is already there, so that case is left out.
inline bool movePointer(int x, int y) {
    std::string target = "X=" + std::to_string(x) + "\nY=" + std::to_string(y) + "\n";
    if (runProgram({"xdotool", "getmouselocation", "--shell"}).out.rfind(target, 0) == 0) {
        return true;
    }
    std::string command = "xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y);
    return std::system(command.c_str()) == 0;
}

}  // namespace kelvane::testing
