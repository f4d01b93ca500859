#pragma once
// Decimal text of 64-bit floats in their shortest round-trip form. Plain decimal
// notation for magnitudes from 0.0001 up to 1e16; exponent notation outside that
// range with a sign and at least two exponent digits ("1e-05", "1.5e+16").
#include <string>

namespace kelvane::common {

// Always shows a fraction in decimal notation: 1.0, 0.25, 0.6666666666666666, 1e-05.
std::string fractionalNumberText(double value);

// As above, but an integral value has no fraction: 900, 0.25, 1e-05. This is the form
// the host expects for JSON numbers. The value must be finite.
std::string jsonNumberText(double value);

}  // namespace kelvane::common
