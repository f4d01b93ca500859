#include "dictate/command_line.h"

#include "dictate/dictation_session.h"

namespace kelvane::dictate {

std::string localeIdFromArguments(std::span<const char* const> arguments) {
    if (arguments.size() > 1 && arguments[1]) return arguments[1];
    return std::string(defaultLocaleId);
}

}  // namespace kelvane::dictate
