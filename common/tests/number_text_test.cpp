#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

using kelvane::common::fractionalNumberText;
using kelvane::common::jsonNumberText;

TEST(NumberText, FractionalFormAlwaysShowsAFraction) {
    EXPECT_EQ(fractionalNumberText(1.0), "1.0");
    EXPECT_EQ(fractionalNumberText(0.0), "0.0");
    EXPECT_EQ(fractionalNumberText(0.25), "0.25");
    EXPECT_EQ(fractionalNumberText(0.125), "0.125");
    EXPECT_EQ(fractionalNumberText(2.0 / 3.0), "0.6666666666666666");
    EXPECT_EQ(fractionalNumberText(1.0 / 6.0), "0.16666666666666666");
    EXPECT_EQ(fractionalNumberText(1024.0), "1024.0");
    EXPECT_EQ(fractionalNumberText(-3.5), "-3.5");
}

TEST(NumberText, SwitchesToExponentBelowOneTenThousandthAndFromTenQuadrillion) {
    EXPECT_EQ(fractionalNumberText(0.0001), "0.0001");
    EXPECT_EQ(fractionalNumberText(0.00001), "1e-05");
    EXPECT_EQ(fractionalNumberText(0.000015), "1.5e-05");
    EXPECT_EQ(fractionalNumberText(1e15), "1000000000000000.0");
    EXPECT_EQ(fractionalNumberText(1e16), "1e+16");
    EXPECT_EQ(fractionalNumberText(1.5e300), "1.5e+300");
    EXPECT_EQ(fractionalNumberText(5e-324), "5e-324");
}

TEST(NumberText, JsonFormDropsTheFractionOfIntegralValues) {
    EXPECT_EQ(jsonNumberText(900.0), "900");
    EXPECT_EQ(jsonNumberText(0.0), "0");
    EXPECT_EQ(jsonNumberText(-1920.0), "-1920");
    EXPECT_EQ(jsonNumberText(49.9), "49.9");
    EXPECT_EQ(jsonNumberText(0.00001), "1e-05");
}

TEST(NumberText, EveryTextReadsBackToTheSameValue) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        EXPECT_EQ(std::strtod(fractionalNumberText(value).c_str(), nullptr), value) << fractionalNumberText(value);
        EXPECT_EQ(std::strtod(jsonNumberText(value).c_str(), nullptr), value) << jsonNumberText(value);
    }
}
