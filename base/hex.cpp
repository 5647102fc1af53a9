#include "base/hex.h"

namespace quilta {
namespace {
inline unsigned Nibble(unsigned char c) { return c > '9' ? c - 0x37u : c - 0x30u; }
}  // namespace

size_t HexToBytes(std::string_view hex, size_t n, uint8_t* out) {
  size_t whole = hex.size() / 2;
  if (whole > n) whole = n;
  for (size_t i = 0; i < whole; ++i) {
    unsigned hi = Nibble(static_cast<unsigned char>(hex[2 * i]));
    unsigned lo = Nibble(static_cast<unsigned char>(hex[2 * i + 1]));
    out[i] = static_cast<uint8_t>((hi * 16u + lo) & 0xFFu);
  }
  return whole;
}

bool IsUpperHex(std::string_view hex, size_t n) {
  if (hex.size() != 2 * n) return false;
  for (char c : hex)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

std::string BytesToHex(const uint8_t* bytes, size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(2 * n, '0');
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return out;
}

std::string TakeBytes(const uint8_t* area, size_t offset, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    uint8_t b = area[offset + static_cast<size_t>(i)];
    if (b == 0) break;
    out.push_back(static_cast<char>(b));
  }
  return out;
}

}  // namespace quilta
