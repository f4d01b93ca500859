#pragma once
// Figures as the benchmarks print them: a fixed number of decimals.
#include <cstdio>
#include <string>

namespace kelvane::bench {

inline std::string fixed(double value, int decimals = 2) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace kelvane::bench
