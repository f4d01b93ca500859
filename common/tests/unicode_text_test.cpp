#include "common/unicode_text.h"

#include <gtest/gtest.h>

using namespace kelvane::common;

TEST(UnicodeText, TrimsUnicodeWhiteSpaceAtBothEndsOnly) {
    EXPECT_EQ(trimmedText("  Report\n"), "Report");
    EXPECT_EQ(trimmedText("\xE2\x80\xA8\xC2\xA0 a  b\t\xE3\x80\x80"), "a  b");  // LS, NBSP, ideographic space
    EXPECT_EQ(trimmedText(" \t\r\n\xE2\x80\xA9"), std::nullopt);
    EXPECT_EQ(trimmedText(""), std::nullopt);
    EXPECT_EQ(trimmedText("\xE2\x80\x8B"), "\xE2\x80\x8B");  // zero width space is not White_Space
}

TEST(UnicodeText, RepairsInvalidUtf8) {
    EXPECT_TRUE(isValidUtf8("plain \xC3\xA9"));
    EXPECT_FALSE(isValidUtf8("\xC3"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // a surrogate
    EXPECT_EQ(repairUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(trimmedText(" \xFF "), "\xEF\xBF\xBD");
}

TEST(UnicodeText, EqualityIsExactButCanonical) {
    EXPECT_TRUE(canonicallyEqual("caf\xC3\xA9", "cafe\xCC\x81"));
    EXPECT_FALSE(canonicallyEqual("Notes", "notes"));
    EXPECT_FALSE(canonicallyEqual("a", "b"));
}

TEST(UnicodeText, LocalizedComparisonIgnoresCaseOnly) {
    EXPECT_EQ(localizedCaseInsensitiveCompare("Notes", "notes"), 0);
    EXPECT_LT(localizedCaseInsensitiveCompare("alpha", "Beta"), 0);
    EXPECT_GT(localizedCaseInsensitiveCompare("b", "A"), 0);
    EXPECT_NE(localizedCaseInsensitiveCompare("resume", "r\xC3\xA9sum\xC3\xA9"), 0);
}
