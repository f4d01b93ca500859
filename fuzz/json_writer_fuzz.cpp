// Drives the JSON writer with documents built from random bytes (nested objects and
// arrays, arbitrary byte strings, every double bit pattern) and reads each document back
// with an independent parser: it must parse and hold exactly the values written, with
// invalid UTF-8 replaced; a value that is not finite must end in JsonEncodeError.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_writer.h"
#include "common/unicode_text.h"

namespace {

using kelvane::common::JsonEncodeError;
using kelvane::common::JsonWriter;

[[noreturn]] void fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "json_writer_fuzz: %s\n%s\n", what, text.c_str());
    std::abort();
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return position_ >= size_; }
    std::uint8_t byte() { return empty() ? 0 : data_[position_++]; }
    std::string bytes(std::size_t count) {
        const std::size_t available = std::min(count, size_ - std::min(position_, size_));
        std::string text(reinterpret_cast<const char*>(data_ + position_), available);
        position_ += available;
        return text;
    }
    template <class T>
    T raw() {
        const std::string text = bytes(sizeof(T));
        T value{};
        std::memcpy(&value, text.data(), text.size());
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A number that reads well as a test value: sometimes an arbitrary bit pattern (NaN and
// infinities included), sometimes a small integer scaled by a power of two or ten.
double numberFrom(Input& input) {
    switch (input.byte() % 3) {
        case 0:
            return input.raw<double>();
        case 1:
            return std::ldexp(static_cast<double>(input.raw<std::int16_t>()), static_cast<int>(input.byte() % 80) - 40);
        default:
            return input.raw<std::int16_t>() * std::pow(10.0, static_cast<int>(input.byte() % 40) - 20);
    }
}

bool hasWhiteSpaceBetweenTokens(std::string_view text) {
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            return true;
        }
    }
    return false;
}

struct Container {
    nlohmann::json value;
    bool isObject;
    std::string pendingKey;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);

    // A single string through the low-level function.
    const std::string loose = input.bytes(input.byte());
    std::string quoted;
    kelvane::common::appendJsonString(quoted, loose);
    try {
        if (nlohmann::json::parse(quoted) != kelvane::common::repairUtf8(loose)) fail("string changed", quoted);
    } catch (const nlohmann::json::exception&) {
        fail("string is not valid JSON", quoted);
    }

    JsonWriter writer;
    std::vector<Container> open;
    writer.beginArray();
    open.push_back({nlohmann::json::array(), false, {}});

    const auto add = [&open](nlohmann::json value) {
        Container& top = open.back();
        if (top.isObject) {
            top.value[top.pendingKey] = std::move(value);
        } else {
            top.value.push_back(std::move(value));
        }
    };
    // Objects need a key before every member.
    const auto keyIfNeeded = [&](Input& in) {
        if (!open.back().isObject) return;
        open.back().pendingKey = kelvane::common::repairUtf8(in.bytes(in.byte() % 16));
        writer.key(open.back().pendingKey);
    };

    while (!input.empty()) {
        switch (input.byte() % 7) {
            case 0: {
                keyIfNeeded(input);
                const std::string text = input.bytes(input.byte() % 64);
                writer.string(text);
                add(kelvane::common::repairUtf8(text));
                break;
            }
            case 1: {
                const double value = numberFrom(input);
                keyIfNeeded(input);
                try {
                    writer.number(value);
                } catch (const JsonEncodeError&) {
                    if (std::isfinite(value)) fail("finite number refused", std::to_string(value));
                    return 0;
                }
                if (!std::isfinite(value)) fail("non-finite number written", writer.text());
                add(value);
                break;
            }
            case 2:
            case 3:
                if (open.size() < 32) {
                    keyIfNeeded(input);
                    const bool isObject = input.byte() % 2 == 0;
                    isObject ? writer.beginObject() : writer.beginArray();
                    open.push_back({isObject ? nlohmann::json::object() : nlohmann::json::array(), isObject, {}});
                }
                break;
            case 4:
                if (open.size() > 1) {
                    Container done = std::move(open.back());
                    open.pop_back();
                    done.isObject ? writer.endObject() : writer.endArray();
                    add(std::move(done.value));
                }
                break;
            case 5: {
                keyIfNeeded(input);
                const auto value = input.raw<std::int64_t>();
                writer.integer(value);
                add(value);
                break;
            }
            default:
                keyIfNeeded(input);
                if (input.byte() % 2) {
                    writer.null();
                    add(nullptr);
                } else {
                    writer.boolean(true);
                    add(true);
                }
        }
    }
    while (open.size() > 1) {
        Container done = std::move(open.back());
        open.pop_back();
        done.isObject ? writer.endObject() : writer.endArray();
        add(std::move(done.value));
    }
    writer.endArray();

    const std::string& text = writer.text();
    if (hasWhiteSpaceBetweenTokens(text)) fail("white space between tokens", text);
    nlohmann::json parsed;
    try {
        parsed = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& error) {
        fail(error.what(), text);
    }
    if (parsed != open.front().value) fail("document changed", text);
    return 0;
}
