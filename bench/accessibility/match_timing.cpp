// Times one accessibilityCursorMatch() against the GTK test window, widget by widget,
// and the same hit test and reads done with the Python AT-SPI bindings, in one run.
// Run inside a desktop: bench/accessibility/run [build folder].
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/fixed_decimals.h"
#include "common/line_output.h"
#include "cursor-watch/accessibility_probe.h"
#include "platform/accessibility.h"
#include "testing/child_process.h"
#include "testing/gtk_test_window/gtk_test_window.h"

namespace {

using kelvane::bench::fixed;

constexpr int rounds = 200;
constexpr double budgetMs = 10.0;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main() {
    using kelvane::common::writeOutputLine;
    kelvane::testing::GtkTestWindow window;
    window.command("focus none");
    auto toolkit = kelvane::platform::makeAccessibilityToolkit();
    kelvane::cursorwatch::AccessibilityProbe probe(*toolkit);

    writeOutputLine("widget          answer       ours_ms  python_ms  python/ours");
    std::vector<double> oursAll;
    std::vector<double> peerAll;
    for (const char* widget : {"entry", "enabledButton", "disabledButton", "splitterHandle", "crop", "plain"}) {
        kelvane::testing::WidgetRect r = window.rect(widget);
        kelvane::testing::movePointer(r.centerX(), r.centerY());
        std::string answer = probe.accessibilityCursorMatch().value_or("(none)");  // warm-up
        std::vector<double> ours;
        for (int i = 0; i < rounds; ++i) {
            auto started = std::chrono::steady_clock::now();
            probe.accessibilityCursorMatch();
            ours.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        }
        kelvane::testing::ChildProcess peer({"/usr/bin/python3", std::string(KELVANE_SOURCE_DIR) +
                                                                       "/bench/accessibility/python_peer.py",
                                               std::to_string(r.centerX()), std::to_string(r.centerY()),
                                               std::to_string(rounds)});
        double peerMs = std::stod(peer.readStdoutLine(std::chrono::seconds(120)).value_or("nan"));
        double oursMs = median(ours);
        oursAll.push_back(oursMs);
        peerAll.push_back(peerMs);
        char line[160];
        std::snprintf(line, sizeof line, "%-15s %-12s %7s  %9s  %11s", widget, answer.c_str(), fixed(oursMs, 3).c_str(),
                      fixed(peerMs, 3).c_str(), fixed(peerMs / oursMs, 3).c_str());
        writeOutputLine(line);
    }
    double worst = *std::max_element(oursAll.begin(), oursAll.end());
    writeOutputLine("median of medians: ours " + fixed(median(oursAll), 3) + " ms, python " + fixed(median(peerAll), 3) +
                    " ms, python/ours " + fixed(median(peerAll) / median(oursAll), 3));
    writeOutputLine("slowest widget: " + fixed(worst, 3) + " ms against a budget of " + fixed(budgetMs, 3) +
                    " ms (budget/slowest " + fixed(budgetMs / worst, 3) + ")");
    return 0;
}
