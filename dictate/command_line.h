#pragma once
// kelvane-dictate [locale]
#include <span>
#include <string>

namespace kelvane::dictate {

// The first argument after the program's name, taken as it is (even when empty), else
// the default locale. Further arguments are ignored.
std::string localeIdFromArguments(std::span<const char* const> arguments);

}  // namespace kelvane::dictate
