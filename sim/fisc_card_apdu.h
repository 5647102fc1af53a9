// What the files of the simulated card share (fisc_card*.cpp): the command APDU as the card
// reads it, the status words it answers and the form of its answers. Not for callers, who use
// fisc_card.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/fisc_card.h"

namespace quilta::sim {

using Response = std::vector<uint8_t>;

inline Response Sw(uint16_t sw) {
  return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw & 0xFF)};
}

inline Response WithSw(std::vector<uint8_t> data, uint16_t sw) {
  data.push_back(static_cast<uint8_t>(sw >> 8));
  data.push_back(static_cast<uint8_t>(sw & 0xFF));
  return data;
}

inline constexpr uint16_t kOk = 0x9000;
inline constexpr uint16_t kWrongLength = 0x6700;
inline constexpr uint16_t kWrongCla = 0x6E00;
inline constexpr uint16_t kWrongIns = 0x6D00;
inline constexpr uint16_t kWrongP1P2 = 0x6A86;
inline constexpr uint16_t kNotFound = 0x6A82;
inline constexpr uint16_t kRecordNotFound = 0x6A83;
inline constexpr uint16_t kRefNotFound = 0x6A88;
inline constexpr uint16_t kNoCurrentFile = 0x6986;
inline constexpr uint16_t kSecurity = 0x6982;
inline constexpr uint16_t kAuthFailed = 0x6300;
inline constexpr uint16_t kNoDiagnosis = 0x6F00;
inline constexpr uint16_t kPinWrong = 0x6608;
inline constexpr uint16_t kPinNotVerified = 0x6610;
inline constexpr uint16_t kPinLocked = 0x6620;

// One command APDU in its ISO 7816-4 short form (cases 1 to 4).
struct FiscCard::Apdu {
  uint8_t cla = 0, ins = 0, p1 = 0, p2 = 0;
  bool hasLc = false;
  std::vector<uint8_t> data;
  bool hasLe = false;
  size_t le = 0;  // 00 means 256

  static std::optional<Apdu> Parse(const uint8_t* b, size_t n) {
    if (b == nullptr || n < 4) return std::nullopt;
    Apdu a;
    a.cla = b[0];
    a.ins = b[1];
    a.p1 = b[2];
    a.p2 = b[3];
    if (n == 4) return a;
    if (n == 5) {
      a.hasLe = true;
      a.le = b[4] == 0 ? 256 : b[4];
      return a;
    }
    size_t lc = b[4];
    if (lc == 0) return std::nullopt;  // extended lengths are not supported
    if (n == 5 + lc || n == 6 + lc) {
      a.hasLc = true;
      a.data.assign(b + 5, b + 5 + lc);
      if (n == 6 + lc) {
        a.hasLe = true;
        a.le = b[5 + lc] == 0 ? 256 : b[5 + lc];
      }
      return a;
    }
    return std::nullopt;
  }
};

}  // namespace quilta::sim
