#pragma once
// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
#include <cstdint>
#include <span>
#include <string>

namespace kelvane::common {

std::string base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace kelvane::common
