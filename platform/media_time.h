#pragma once
// Rational media time: value / timescale seconds. Sums and differences across timescales
// are exact whenever the result can be expressed in a 32-bit timescale; comparison is
// always exact (128-bit cross products), so 0 in any timescale equals zero.
#include <cstdint>

namespace kelvane::platform {

struct MediaTime {
    enum Flag : std::uint32_t {
        valid = 1u << 0,
        hasBeenRounded = 1u << 1,
    };

    std::int64_t value = 0;
    std::int32_t timescale = 0;
    std::uint32_t flags = 0;
    std::int64_t epoch = 0;

    // value / timescale seconds; a timescale of 0 or below gives the invalid time.
    static MediaTime make(std::int64_t value, std::int32_t timescale);
    static constexpr MediaTime zero() { return MediaTime{0, 1, valid, 0}; }
    // Distinct from every valid time, zero included.
    static constexpr MediaTime invalid() { return MediaTime{}; }
    // The nearest time in `preferredTimescale`; invalid for non-finite seconds.
    static MediaTime fromSeconds(double seconds, std::int32_t preferredTimescale);

    bool isValid() const { return (flags & valid) != 0 && timescale > 0; }
    double seconds() const;
};

// Invalid operands give the invalid time. The result's timescale is the least common
// multiple of the operands' when that fits in 32 bits; otherwise the larger of the two,
// rounded to nearest and flagged hasBeenRounded. Results beyond 64 bits are invalid.
MediaTime operator+(const MediaTime& a, const MediaTime& b);
MediaTime operator-(const MediaTime& a, const MediaTime& b);

// Numeric order: -1, 0 or 1. Invalid times equal each other and sort after every valid time.
int compare(const MediaTime& a, const MediaTime& b);
inline bool operator==(const MediaTime& a, const MediaTime& b) { return compare(a, b) == 0; }
inline bool operator<(const MediaTime& a, const MediaTime& b) { return compare(a, b) < 0; }
inline bool operator>(const MediaTime& a, const MediaTime& b) { return compare(a, b) > 0; }
inline bool operator<=(const MediaTime& a, const MediaTime& b) { return compare(a, b) <= 0; }
inline bool operator>=(const MediaTime& a, const MediaTime& b) { return compare(a, b) >= 0; }

// The smaller of two valid times; an invalid operand gives the other one.
MediaTime minimum(const MediaTime& a, const MediaTime& b);

}  // namespace kelvane::platform
