#include "platform/media_time.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace kelvane::platform {
namespace {

using Wide = __int128;

constexpr Wide kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr Wide kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// numerator / denominator rounded to nearest, halves away from zero.
Wide divideRounded(Wide numerator, Wide denominator) {
    const Wide quotient = numerator / denominator;
    const Wide remainder = numerator % denominator;
    const Wide twice = remainder < 0 ? -2 * remainder : 2 * remainder;
    if (twice >= denominator) return numerator < 0 ? quotient - 1 : quotient + 1;
    return quotient;
}

MediaTime combine(const MediaTime& a, const MediaTime& b, int sign) {
    if (!a.isValid() || !b.isValid()) return MediaTime::invalid();
    std::uint32_t flags = MediaTime::valid | ((a.flags | b.flags) & MediaTime::hasBeenRounded);

    const std::int64_t common = std::lcm(static_cast<std::int64_t>(a.timescale), static_cast<std::int64_t>(b.timescale));
    Wide value;
    std::int32_t timescale;
    if (common <= kInt32Max) {
        timescale = static_cast<std::int32_t>(common);
        value = Wide(a.value) * (common / a.timescale) + sign * Wide(b.value) * (common / b.timescale);
    } else {
        timescale = a.timescale > b.timescale ? a.timescale : b.timescale;
        const Wide denominator = Wide(a.timescale) * b.timescale;
        const Wide exact = (Wide(a.value) * b.timescale + sign * Wide(b.value) * a.timescale) * timescale;
        value = divideRounded(exact, denominator);
        if (value * denominator != exact) flags |= MediaTime::hasBeenRounded;
    }
    if (value > kInt64Max || value < kInt64Min) return MediaTime::invalid();
    return MediaTime{static_cast<std::int64_t>(value), timescale, flags, 0};
}

}  // namespace

MediaTime MediaTime::make(std::int64_t value, std::int32_t timescale) {
    if (timescale <= 0) return invalid();
    return MediaTime{value, timescale, valid, 0};
}

MediaTime MediaTime::fromSeconds(double seconds, std::int32_t preferredTimescale) {
    if (!std::isfinite(seconds) || preferredTimescale <= 0) return invalid();
    const long double scaled = std::roundl(static_cast<long double>(seconds) * preferredTimescale);
    if (scaled > static_cast<long double>(kInt64Max) || scaled < static_cast<long double>(kInt64Min)) return invalid();
    return make(static_cast<std::int64_t>(scaled), preferredTimescale);
}

double MediaTime::seconds() const {
    if (!isValid()) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(static_cast<long double>(value) / timescale);
}

MediaTime operator+(const MediaTime& a, const MediaTime& b) { return combine(a, b, 1); }
MediaTime operator-(const MediaTime& a, const MediaTime& b) { return combine(a, b, -1); }

int compare(const MediaTime& a, const MediaTime& b) {
    if (!a.isValid() || !b.isValid()) {
        if (a.isValid() == b.isValid()) return 0;
        return a.isValid() ? -1 : 1;
    }
    const Wide left = Wide(a.value) * b.timescale;
    const Wide right = Wide(b.value) * a.timescale;
    return left < right ? -1 : (left > right ? 1 : 0);
}

MediaTime minimum(const MediaTime& a, const MediaTime& b) {
    if (!a.isValid()) return b;
    if (!b.isValid()) return a;
    return compare(b, a) < 0 ? b : a;
}

}  // namespace kelvane::platform
