#include "common/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace kelvane::common {

namespace {

struct ShortestDigits {
    bool negative = false;
    std::string digits;  // significant digits, no leading or trailing zeros (except "0")
    int exponent = 0;    // value = 0.d1d2d3... * 10^(exponent + 1), i.e. d1 is at 10^exponent
};

ShortestDigits shortestDigits(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    ShortestDigits out;
    if (!text.empty() && text.front() == '-') {
        out.negative = true;
        text.remove_prefix(1);
    }
    const auto e = text.find('e');
    for (char c : text.substr(0, e)) {
        if (c != '.') out.digits += c;
    }
    out.exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
    while (out.digits.size() > 1 && out.digits.back() == '0') out.digits.pop_back();
    return out;
}

std::string numberText(double value, bool integralWithFraction) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";

    const ShortestDigits d = shortestDigits(value);
    std::string out = d.negative ? "-" : "";
    const bool isZero = d.digits == "0";
    const bool decimal = isZero || (d.exponent >= -4 && d.exponent < 16);

    if (!decimal) {
        out += d.digits[0];
        if (d.digits.size() > 1) {
            out += '.';
            out.append(d.digits, 1);
        }
        out += 'e';
        out += d.exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(d.exponent);
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
        return out;
    }

    if (isZero) {
        out += integralWithFraction ? "0.0" : "0";
        return out;
    }
    if (d.exponent < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-d.exponent - 1), '0');
        out += d.digits;
        return out;
    }
    const auto integerDigits = static_cast<size_t>(d.exponent) + 1;
    if (d.digits.size() <= integerDigits) {
        out += d.digits;
        out.append(integerDigits - d.digits.size(), '0');
        if (integralWithFraction) out += ".0";
    } else {
        out.append(d.digits, 0, integerDigits);
        out += '.';
        out.append(d.digits, integerDigits);
    }
    return out;
}

}  // namespace

std::string fractionalNumberText(double value) { return numberText(value, true); }

std::string jsonNumberText(double value) { return numberText(value, false); }

}  // namespace kelvane::common
