#include "common/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using kelvane::common::JsonEncodeError;
using kelvane::common::JsonWriter;

TEST(JsonWriter, WritesCompactNestedContainersWithCommasOnlyBetweenMembers) {
    JsonWriter w;
    w.beginArray()
        .beginObject().key("a").integer(1).key("b").beginArray().endArray().endObject()
        .beginObject().endObject()
        .boolean(true).null()
        .endArray();
    EXPECT_EQ(w.text(), R"([{"a":1,"b":[]},{},true,null])");
}

TEST(JsonWriter, EscapesSolidusQuotesBackslashAndControlCharacters) {
    JsonWriter w;
    w.string("a/b \"q\" \\ \n\t\r\b\f \x01\x1f");
    EXPECT_EQ(w.text(), R"("a\/b \"q\" \\ \n\t\r\b\f \u0001\u001f")");
}

TEST(JsonWriter, KeepsNonAsciiAsRawUtf8AndRepairsInvalidBytes) {
    JsonWriter w;
    w.beginArray().string("Editor \xE2\x80\x94 R\xC3\xA9sum\xC3\xA9").string("bad\xFF\xC3").endArray();
    EXPECT_EQ(w.text(), "[\"Editor \xE2\x80\x94 R\xC3\xA9sum\xC3\xA9\",\"bad\xEF\xBF\xBD\xEF\xBF\xBD\"]");
}

TEST(JsonWriter, EscapesKeysLikeStrings) {
    JsonWriter w;
    w.beginObject().key("a/b").string("").endObject();
    EXPECT_EQ(w.text(), R"({"a\/b":""})");
}

TEST(JsonWriter, WritesIntegralNumbersWithoutFractionAndOthersShortest) {
    JsonWriter w;
    w.beginArray().number(900.0).number(-12.5).number(0.1).number(1.0 / 3.0).number(-0.0).endArray();
    EXPECT_EQ(w.text(), "[900,-12.5,0.1,0.3333333333333333,-0]");
}

TEST(JsonWriter, RefusesNonFiniteNumbers) {
    JsonWriter w;
    w.beginArray();
    EXPECT_THROW(w.number(std::numeric_limits<double>::infinity()), JsonEncodeError);
    EXPECT_THROW(w.number(std::nan("")), JsonEncodeError);
}
