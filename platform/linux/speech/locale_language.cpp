#include "platform/linux/speech/locale_language.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace kelvane::platform::speech {

namespace {

// Messages, dates and sorting in the C locale are those of US English.
constexpr const char* builtInLocale = "en_US";

}  // namespace

std::string languageOfLocale(std::string_view localeId) {
    const std::size_t end = localeId.find_first_of("-_.@");
    std::string language(localeId.substr(0, end));
    std::transform(language.begin(), language.end(), language.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool letters = std::all_of(language.begin(), language.end(), [](unsigned char c) { return std::isalpha(c); });
    return letters ? language : std::string();
}

std::string currentLocaleId() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        const std::string_view locale(value);
        if (locale == "C" || locale == "POSIX" || locale.starts_with("C.")) break;
        return std::string(locale);
    }
    return builtInLocale;
}

}  // namespace kelvane::platform::speech
