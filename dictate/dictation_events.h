#pragma once
// The events the program sends to the host, one compact JSON object per line, and the
// two ways the process ends: `finish` (a "final" event, status 0, at most once) and
// `fail` (an "error" event, status 1).
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::dictate {

using EventFields = std::map<std::string, std::string>;

// The event as one line of compact JSON without its line feed. Text that is not valid
// UTF-8 is repaired to U+FFFD rather than losing the whole event.
std::string eventLine(const EventFields& fields);

struct DictationError {
    std::string code;
    std::string message;
};

DictationError speechDeniedError();
DictationError speechRestrictedError();
DictationError speechUnavailableError();
DictationError noRecognizerError(std::string_view localeId);
DictationError recognizerOfflineError();
DictationError noMicError();
DictationError micStartError(std::string_view description);

class DictationEvents {
public:
    using LineWriter = std::function<void(std::string_view line)>;
    // Ends the process with the status; in the real program it does not return.
    using ProcessExit = std::function<void(int status)>;

    DictationEvents(LineWriter writeLine, ProcessExit exitProcess);

    void emit(const EventFields& fields);
    void fail(const DictationError& error);
    void finish();

    const std::string& lastText() const { return lastText_; }
    void setLastText(std::string text) { lastText_ = std::move(text); }
    bool finished() const { return finished_; }

private:
    void end(int status);

    LineWriter writeLine_;
    ProcessExit exitProcess_;
    std::string lastText_;
    bool finished_ = false;
    // Set once the process was told to end; nothing is written after that.
    bool ended_ = false;
};

}  // namespace kelvane::dictate
