#include "common/unicode_text.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace kelvane::common {

namespace {

icu::UnicodeString toUnicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// The POSIX locale name of the user's collation locale, as the C library would pick it.
std::string userCollationLocale() {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return "";
}

// One collator for the process; ICU collators are safe to share for comparisons.
const icu::Collator* userCollator() {
    static std::once_flag once;
    static std::unique_ptr<icu::Collator> collator;
    std::call_once(once, [] {
        std::string posix = userCollationLocale();
        posix = posix.substr(0, posix.find_first_of(".@"));
        const icu::Locale locale =
            (posix.empty() || posix == "C" || posix == "POSIX") ? icu::Locale::getRoot() : icu::Locale(posix.c_str());
        UErrorCode status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        if (collator) collator->setStrength(icu::Collator::SECONDARY);
    });
    return collator.get();
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    int32_t i = 0;
    const auto length = static_cast<int32_t>(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    while (i < length) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

std::string repairUtf8(std::string_view text) {
    // ICU's UTF-8 conversion substitutes U+FFFD for each ill-formed sequence.
    return toUtf8(toUnicode(text));
}

std::optional<std::string> trimmedText(std::string_view text) {
    const icu::UnicodeString unicode = toUnicode(text);
    int32_t start = 0;
    int32_t end = unicode.length();
    while (start < end && u_hasBinaryProperty(unicode.char32At(start), UCHAR_WHITE_SPACE)) {
        start = unicode.moveIndex32(start, 1);
    }
    while (end > start) {
        const int32_t previous = unicode.moveIndex32(end, -1);
        if (!u_hasBinaryProperty(unicode.char32At(previous), UCHAR_WHITE_SPACE)) break;
        end = previous;
    }
    if (start == end) return std::nullopt;
    return toUtf8(icu::UnicodeString(unicode, start, end - start));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return false;
    const icu::UnicodeString na = nfd->normalize(toUnicode(a), status);
    const icu::UnicodeString nb = nfd->normalize(toUnicode(b), status);
    return U_SUCCESS(status) && na == nb;
}

int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b) {
    const icu::Collator* collator = userCollator();
    UErrorCode status = U_ZERO_ERROR;
    if (collator != nullptr) {
        const UCollationResult result = collator->compareUTF8(
            icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status)) return static_cast<int>(result);
    }
    return toUnicode(a).caseCompare(toUnicode(b), U_FOLD_CASE_DEFAULT);
}

}  // namespace kelvane::common
