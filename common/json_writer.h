#pragma once
// Compact JSON text as the host reads it: no white space between tokens, the solidus
// written as \/, quotation mark, reverse solidus and control characters escaped, every
// other character as raw UTF-8 (invalid UTF-8 repaired to U+FFFD). Keys are written in
// the order the caller gives them; callers that need sorted keys give them sorted.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::common {

// Thrown for a value JSON cannot hold (a number that is not finite).
class JsonEncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Appends `text` as a quoted JSON string with the escapes above.
void appendJsonString(std::string& out, std::string_view text);

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view value);
    // Integral values are written without a fraction (900, not 900.0); any other value
    // in its shortest round-trip form. Throws JsonEncodeError for NaN or infinity.
    JsonWriter& number(double value);
    JsonWriter& integer(std::int64_t value);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    const std::string& text() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    void beforeValue();

    std::string out_;
    // One entry per open container: true once it holds a member, so the next needs a comma.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};

}  // namespace kelvane::common
