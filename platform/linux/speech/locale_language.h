#pragma once
// Which language a locale identifier asks for, and the user's current locale.
#include <string>
#include <string_view>

namespace kelvane::platform::speech {

// The lower-case language subtag of "en-IN", "en_US.UTF-8", "de": "en", "en", "de".
// Empty when there is none.
std::string languageOfLocale(std::string_view localeId);

// The user's locale from LC_ALL, LC_MESSAGES or LANG, the first one set. The "C" and
// "POSIX" locales, and no locale at all, are the system's built-in US English.
std::string currentLocaleId();

}  // namespace kelvane::platform::speech
