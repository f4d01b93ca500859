#pragma once
// Which language a locale identifier asks for, and the user's current locale.
#include <string>
#include <string_view>

namespace kelvane::platform::speech {

// The lower-case language subtag of "en-IN", "en_US.UTF-8", "de": "en", "en", "de".
// Empty when there is none.
std::string languageOfLocale(std::string_view localeId);

// The user's locale from LC_ALL, LC_MESSAGES or LANG, the first one set; empty when none
// is set or it is the "C" / "POSIX" locale, which name no language.
std::string currentLocaleId();

}  // namespace kelvane::platform::speech
