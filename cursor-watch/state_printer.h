#pragma once
// Turns the stream of polled cursor kinds into "STATE:" lines, one per change.
#include <functional>
#include <string>
#include <string_view>

namespace kelvane::cursorwatch {

class StatePrinter {
public:
    explicit StatePrinter(std::function<void(std::string_view)> writeLine) : writeLine_(std::move(writeLine)) {}

    // Prints "STATE:<state>" when `state` differs from the last one printed; the first
    // call always prints. Called from one thread at a time.
    void emitStateIfNeeded(const std::string& state) {
        if (state == lastState_) return;
        lastState_ = state;
        writeLine_("STATE:" + state);
    }

private:
    std::function<void(std::string_view)> writeLine_;
    std::string lastState_;
};

}  // namespace kelvane::cursorwatch
