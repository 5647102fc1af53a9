// What the two files of the cipher share (rijndael_key_schedule.cpp, rijndael.cpp): GF(2^8)
// arithmetic, the S-boxes and the round tables, all computed at compile time, and the word
// helpers. Not for callers, who use rijndael.h.
//
// Everything here has internal linkage on purpose: each file gets its own tables, addressed
// directly also in position-independent code (no look-up through the global offset table in
// the rounds).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>

namespace quilta {
namespace {

using Table = std::array<uint32_t, 256>;
using ByteTable = std::array<uint8_t, 256>;

// ---- GF(2^8) arithmetic and the tables, all computed at compile time ----

constexpr uint8_t XTime(uint8_t x) {
  return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1B : 0x00));
}

constexpr uint8_t Mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b != 0) {
    if ((b & 1) != 0) r ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return r;
}

// Multiplicative inverse as x^254 (0 maps to 0).
constexpr uint8_t Inverse(uint8_t x) {
  uint8_t result = 1;
  uint8_t square = x;
  for (unsigned e = 254; e != 0; e >>= 1) {
    if ((e & 1) != 0) result = Mul(result, square);
    square = Mul(square, square);
  }
  return x == 0 ? 0 : result;
}

constexpr uint8_t Rotl8(uint8_t x, int n) {
  return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr ByteTable MakeSbox() {
  ByteTable s{};
  for (int x = 0; x < 256; ++x) {
    uint8_t b = Inverse(static_cast<uint8_t>(x));
    s[x] = static_cast<uint8_t>(b ^ Rotl8(b, 1) ^ Rotl8(b, 2) ^ Rotl8(b, 3) ^ Rotl8(b, 4) ^ 0x63);
  }
  return s;
}

constexpr ByteTable MakeInverseSbox(const ByteTable& s) {
  ByteTable si{};
  for (int x = 0; x < 256; ++x) si[s[x]] = static_cast<uint8_t>(x);
  return si;
}

constexpr uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return (uint32_t{b0} << 24) | (uint32_t{b1} << 16) | (uint32_t{b2} << 8) | uint32_t{b3};
}

constexpr uint32_t Rotr32(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// Round table k holds, for every byte, the S-box (or inverse S-box) output times the MixColumns
// (or InvMixColumns) column, rotated right by 8k bits so that one lookup per state byte does
// SubBytes, ShiftRows and MixColumns together.
constexpr Table MakeRoundTable(const ByteTable& box, uint8_t c0, uint8_t c1, uint8_t c2,
                               uint8_t c3, int k) {
  Table t{};
  for (int x = 0; x < 256; ++x) {
    uint8_t s = box[x];
    uint32_t w = Word(Mul(s, c0), Mul(s, c1), Mul(s, c2), Mul(s, c3));
    t[x] = k == 0 ? w : Rotr32(w, 8 * k);
  }
  return t;
}

constexpr ByteTable kS = MakeSbox();
constexpr ByteTable kSi = MakeInverseSbox(kS);
alignas(64) constexpr Table kTe0 = MakeRoundTable(kS, 2, 1, 1, 3, 0);
alignas(64) constexpr Table kTe1 = MakeRoundTable(kS, 2, 1, 1, 3, 1);
alignas(64) constexpr Table kTe2 = MakeRoundTable(kS, 2, 1, 1, 3, 2);
alignas(64) constexpr Table kTe3 = MakeRoundTable(kS, 2, 1, 1, 3, 3);
alignas(64) constexpr Table kTd0 = MakeRoundTable(kSi, 14, 9, 13, 11, 0);
alignas(64) constexpr Table kTd1 = MakeRoundTable(kSi, 14, 9, 13, 11, 1);
alignas(64) constexpr Table kTd2 = MakeRoundTable(kSi, 14, 9, 13, 11, 2);
alignas(64) constexpr Table kTd3 = MakeRoundTable(kSi, 14, 9, 13, 11, 3);

// Spot checks against the published tables.
static_assert(kS[0x00] == 0x63 && kS[0x01] == 0x7C && kS[0x53] == 0xED && kS[0xFF] == 0x16);
static_assert(kSi[0x00] == 0x52 && kSi[0x63] == 0x00 && kSi[0xFF] == 0x7D);
static_assert(kTe0[0x00] == 0xC66363A5u && kTe0[0xFF] == 0x2C16163Au);
static_assert(kTd0[0x00] == 0x51F4A750u && kTd0[0xFF] == 0xD0B85742u);

inline uint32_t LoadBE(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

inline void StoreBE(char* p, uint32_t v) {
  auto* b = reinterpret_cast<unsigned char*>(p);
  b[0] = static_cast<unsigned char>(v >> 24);
  b[1] = static_cast<unsigned char>(v >> 16);
  b[2] = static_cast<unsigned char>(v >> 8);
  b[3] = static_cast<unsigned char>(v);
}

inline uint32_t B0(uint32_t w) { return w >> 24; }
inline uint32_t B1(uint32_t w) { return (w >> 16) & 0xFF; }
inline uint32_t B2(uint32_t w) { return (w >> 8) & 0xFF; }
inline uint32_t B3(uint32_t w) { return w & 0xFF; }

[[noreturn]] void Fail(const char* text) { throw std::runtime_error(text); }

}  // namespace
}  // namespace quilta
