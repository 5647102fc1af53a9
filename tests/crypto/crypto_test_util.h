// Small helpers shared by the cipher tests.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

namespace quilta::testing {

// Bytes from hex text of either case.
inline std::string Unhex(std::string_view hex) {
  auto nibble = [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
  };
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
  return out;
}

// Lower-case hex of bytes.
inline std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    out.push_back(kDigits[static_cast<uint8_t>(c) >> 4]);
    out.push_back(kDigits[static_cast<uint8_t>(c) & 15]);
  }
  return out;
}

}  // namespace quilta::testing
