// Bytes written as hex text in the tests: card commands and answers ("00 A4 04 00"), keys and
// cipher vectors ("2b7e1516..."), and the forms the tests compare them in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/hex.h"

namespace quilta::testing {

// The bytes of hex text of either case; blanks are skipped, a last odd digit is dropped.
inline std::vector<uint8_t> Bytes(std::string_view hex) {
  auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    if (high < 0) {
      high = nibble(c);
    } else {
      out.push_back(static_cast<uint8_t>(high * 16 + nibble(c)));
      high = -1;
    }
  }
  return out;
}

// The same bytes held in a std::string, as the cipher takes and gives them.
inline std::string ByteText(std::string_view hex) {
  const std::vector<uint8_t> b = Bytes(hex);
  return std::string(b.begin(), b.end());
}

// Upper-case hex of bytes, without blanks ("00A40400").
inline std::string Hex(const std::vector<uint8_t>& bytes) {
  return BytesToHex(bytes.data(), bytes.size());
}

// Upper-case hex with a blank between bytes ("90 00"), as a card's answer is read out.
inline std::string SpacedHex(const std::vector<uint8_t>& bytes) {
  std::string out;
  for (uint8_t b : bytes) out += (out.empty() ? "" : " ") + BytesToHex(&b, 1);
  return out;
}

// Lower-case hex of bytes held in a std::string, the form of the published cipher vectors.
inline std::string LowerHex(std::string_view bytes) {
  std::string out = BytesToHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  for (char& c : out) c = static_cast<char>(c >= 'A' ? c | 0x20 : c);
  return out;
}

// The bytes of an ASCII text as hex, as a card holds character fields.
inline std::string AsciiHex(std::string_view text) {
  return BytesToHex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace quilta::testing
