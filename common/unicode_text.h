#pragma once
// Unicode text helpers on ICU, for names and titles that come from other programs.
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::common {

bool isValidUtf8(std::string_view text);

// Replaces every ill-formed UTF-8 sequence with U+FFFD.
std::string repairUtf8(std::string_view text);

// Removes leading and trailing Unicode White_Space (spaces, tabs, line feeds, line and
// paragraph separators, no-break spaces, ...). Inner white space stays. Returns nothing
// when no other character remains. Invalid UTF-8 is repaired first.
std::optional<std::string> trimmedText(std::string_view text);

// Exact, case-sensitive equality under Unicode canonical equivalence
// ("e" + combining acute equals the precomposed "é").
bool canonicallyEqual(std::string_view a, std::string_view b);

// Case-insensitive comparison in the user's current locale (LC_ALL, then LC_COLLATE,
// then LANG; the root locale when none is set). Negative, zero or positive like strcmp;
// strings that differ only in letter case compare equal.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);

}  // namespace kelvane::common
