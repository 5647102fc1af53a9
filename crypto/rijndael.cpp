#include "crypto/rijndael.h"

#include <array>
#include <cstring>
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

// Round constants: enough for the longest schedule (Nk = 4, Nb = 8: 120 words / 4).
constexpr std::array<uint32_t, 30> MakeRcon() {
  std::array<uint32_t, 30> rc{};
  uint8_t r = 1;
  for (auto& v : rc) {
    v = uint32_t{r} << 24;
    r = XTime(r);
  }
  return rc;
}
constexpr std::array<uint32_t, 30> kRcon = MakeRcon();
static_assert(kRcon[9] == 0x36000000u && kRcon[10] == 0x6C000000u);

constexpr int RoundsFor(int keyLength, int blockSize) {
  int longer = keyLength > blockSize ? keyLength : blockSize;
  return longer == 16 ? 10 : longer == 24 ? 12 : 14;
}

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

inline uint32_t SubWord(uint32_t w) {
  return Word(kS[B0(w)], kS[B1(w)], kS[B2(w)], kS[B3(w)]);
}

inline uint32_t InvMixColumn(uint32_t w) {
  // The inverse tables contain the inverse S-box; undo it with the S-box first.
  return kTd0[kS[B0(w)]] ^ kTd1[kS[B1(w)]] ^ kTd2[kS[B2(w)]] ^ kTd3[kS[B3(w)]];
}

// ShiftRows offsets of rows 1, 2 and 3 by block words.
struct Shifts {
  int s1, s2, s3;
};
constexpr Shifts ShiftsFor(int nb) { return nb == 8 ? Shifts{1, 3, 4} : Shifts{1, 2, 3}; }

[[noreturn]] void Fail(const char* text) { throw std::runtime_error(text); }

// ---- The 16-byte block: four state words in registers ----

struct State4 {
  uint32_t s0, s1, s2, s3;
};

inline State4 Load4(const char* in, const uint32_t* rk) {
  return {LoadBE(in) ^ rk[0], LoadBE(in + 4) ^ rk[1], LoadBE(in + 8) ^ rk[2], LoadBE(in + 12) ^ rk[3]};
}

inline void EncryptRound(State4& s, const uint32_t* rk) {
  uint32_t t0 = kTe0[B0(s.s0)] ^ kTe1[B1(s.s1)] ^ kTe2[B2(s.s2)] ^ kTe3[B3(s.s3)] ^ rk[0];
  uint32_t t1 = kTe0[B0(s.s1)] ^ kTe1[B1(s.s2)] ^ kTe2[B2(s.s3)] ^ kTe3[B3(s.s0)] ^ rk[1];
  uint32_t t2 = kTe0[B0(s.s2)] ^ kTe1[B1(s.s3)] ^ kTe2[B2(s.s0)] ^ kTe3[B3(s.s1)] ^ rk[2];
  uint32_t t3 = kTe0[B0(s.s3)] ^ kTe1[B1(s.s0)] ^ kTe2[B2(s.s1)] ^ kTe3[B3(s.s2)] ^ rk[3];
  s = {t0, t1, t2, t3};
}

inline void EncryptLast(const State4& s, const uint32_t* rk, char* out) {
  StoreBE(out, Word(kS[B0(s.s0)], kS[B1(s.s1)], kS[B2(s.s2)], kS[B3(s.s3)]) ^ rk[0]);
  StoreBE(out + 4, Word(kS[B0(s.s1)], kS[B1(s.s2)], kS[B2(s.s3)], kS[B3(s.s0)]) ^ rk[1]);
  StoreBE(out + 8, Word(kS[B0(s.s2)], kS[B1(s.s3)], kS[B2(s.s0)], kS[B3(s.s1)]) ^ rk[2]);
  StoreBE(out + 12, Word(kS[B0(s.s3)], kS[B1(s.s0)], kS[B2(s.s1)], kS[B3(s.s2)]) ^ rk[3]);
}

inline void DecryptRound(State4& s, const uint32_t* rk) {
  uint32_t t0 = kTd0[B0(s.s0)] ^ kTd1[B1(s.s3)] ^ kTd2[B2(s.s2)] ^ kTd3[B3(s.s1)] ^ rk[0];
  uint32_t t1 = kTd0[B0(s.s1)] ^ kTd1[B1(s.s0)] ^ kTd2[B2(s.s3)] ^ kTd3[B3(s.s2)] ^ rk[1];
  uint32_t t2 = kTd0[B0(s.s2)] ^ kTd1[B1(s.s1)] ^ kTd2[B2(s.s0)] ^ kTd3[B3(s.s3)] ^ rk[2];
  uint32_t t3 = kTd0[B0(s.s3)] ^ kTd1[B1(s.s2)] ^ kTd2[B2(s.s1)] ^ kTd3[B3(s.s0)] ^ rk[3];
  s = {t0, t1, t2, t3};
}

inline void DecryptLast(const State4& s, const uint32_t* rk, char* out) {
  StoreBE(out, Word(kSi[B0(s.s0)], kSi[B1(s.s3)], kSi[B2(s.s2)], kSi[B3(s.s1)]) ^ rk[0]);
  StoreBE(out + 4, Word(kSi[B0(s.s1)], kSi[B1(s.s0)], kSi[B2(s.s3)], kSi[B3(s.s2)]) ^ rk[1]);
  StoreBE(out + 8, Word(kSi[B0(s.s2)], kSi[B1(s.s1)], kSi[B2(s.s0)], kSi[B3(s.s3)]) ^ rk[2]);
  StoreBE(out + 12, Word(kSi[B0(s.s3)], kSi[B1(s.s2)], kSi[B2(s.s1)], kSi[B3(s.s0)]) ^ rk[3]);
}

template <bool kEncrypt>
inline void Block16(const uint32_t* keys, int rounds, const char* in, char* out) {
  State4 s = Load4(in, keys);
  for (int r = 1; r < rounds; ++r) {
    keys += 4;
    if constexpr (kEncrypt) EncryptRound(s, keys);
    else DecryptRound(s, keys);
  }
  keys += 4;
  if constexpr (kEncrypt) EncryptLast(s, keys, out);
  else DecryptLast(s, keys, out);
}

// Two independent blocks side by side, so that the lookups of one overlap those of the
// other (ECB has no dependency between blocks). All 32 input bytes are read before output
// is written, so in and out may be the same buffer.
template <bool kEncrypt>
inline void TwoBlocks16(const uint32_t* keys, int rounds, const char* in, char* out) {
  State4 a = Load4(in, keys);
  State4 b = Load4(in + 16, keys);
  for (int r = 1; r < rounds; ++r) {
    keys += 4;
    if constexpr (kEncrypt) {
      EncryptRound(a, keys);
      EncryptRound(b, keys);
    } else {
      DecryptRound(a, keys);
      DecryptRound(b, keys);
    }
  }
  keys += 4;
  if constexpr (kEncrypt) {
    EncryptLast(a, keys, out);
    EncryptLast(b, keys, out + 16);
  } else {
    DecryptLast(a, keys, out);
    DecryptLast(b, keys, out + 16);
  }
}

}  // namespace

CRijndael::CRijndael() = default;
CRijndael::~CRijndael() = default;

void CRijndael::SetKey(const char* key, const char* chain, int keyLength, int blockSize) {
  if (key == nullptr) Fail("Empty key");
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) Fail("Incorrect key length");
  if (blockSize != 16 && blockSize != 24 && blockSize != 32) Fail("Incorrect block length");

  keyLength_ = keyLength;
  blockSize_ = blockSize;
  rounds_ = RoundsFor(keyLength, blockSize);
  std::memset(chain0_, 0, sizeof chain0_);
  if (chain != nullptr) std::memcpy(chain0_, chain, static_cast<size_t>(blockSize));
  std::memcpy(chain_, chain0_, sizeof chain_);
  std::memset(ke_, 0, sizeof ke_);
  std::memset(kd_, 0, sizeof kd_);

  // Key schedule: Nb * (rounds + 1) words, each from the word Nk places back and the one
  // before it, substituted and rotated every Nk words (and substituted half way for Nk = 8).
  const int nk = keyLength / 4;
  const int nb = blockSize / 4;
  const int total = nb * (rounds_ + 1);
  uint32_t w[(kMaxRounds + 1) * kMaxBlockWords];
  for (int i = 0; i < nk; ++i) w[i] = LoadBE(key + 4 * i);
  for (int i = nk; i < total; ++i) {
    uint32_t t = w[i - 1];
    if (i % nk == 0) {
      t = SubWord(Rotr32(t, 24)) ^ kRcon[static_cast<size_t>(i / nk - 1)];
    } else if (nk > 6 && i % nk == 4) {
      t = SubWord(t);
    }
    w[i] = w[i - nk] ^ t;
  }
  for (int i = 0; i < total; ++i) {
    int round = i / nb;
    int column = i % nb;
    ke_[round * nb + column] = w[i];
    kd_[(rounds_ - round) * nb + column] = w[i];
  }
  for (int i = nb; i < rounds_ * nb; ++i) kd_[i] = InvMixColumn(kd_[i]);
  std::memset(w, 0, sizeof w);
  initialized_ = true;
}

void CRijndael::DefEncryptBlock(const char* in, char* result) const {
  Block16<true>(ke_, rounds_, in, result);
}

void CRijndael::DefDecryptBlock(const char* in, char* result) const {
  Block16<false>(kd_, rounds_, in, result);
}

void CRijndael::WideEncryptBlock(const char* in, char* result) const {
  const int nb = blockSize_ / 4;
  const Shifts sh = ShiftsFor(nb);
  const uint32_t* rk = ke_;
  uint32_t a[kMaxBlockWords];
  uint32_t t[kMaxBlockWords];
  for (int j = 0; j < nb; ++j) a[j] = LoadBE(in + 4 * j) ^ rk[j];
  for (int r = 1; r < rounds_; ++r) {
    rk += nb;
    for (int j = 0; j < nb; ++j) {
      t[j] = kTe0[B0(a[j])] ^ kTe1[B1(a[(j + sh.s1) % nb])] ^ kTe2[B2(a[(j + sh.s2) % nb])] ^
             kTe3[B3(a[(j + sh.s3) % nb])] ^ rk[j];
    }
    std::memcpy(a, t, sizeof a);
  }
  rk += nb;
  for (int j = 0; j < nb; ++j) {
    uint32_t v = Word(kS[B0(a[j])], kS[B1(a[(j + sh.s1) % nb])], kS[B2(a[(j + sh.s2) % nb])],
                      kS[B3(a[(j + sh.s3) % nb])]);
    StoreBE(result + 4 * j, v ^ rk[j]);
  }
}

void CRijndael::WideDecryptBlock(const char* in, char* result) const {
  const int nb = blockSize_ / 4;
  const Shifts sh = ShiftsFor(nb);
  // Inverse ShiftRows reads row k from column j - sk, taken modulo nb.
  const int i1 = nb - sh.s1, i2 = nb - sh.s2, i3 = nb - sh.s3;
  const uint32_t* rk = kd_;
  uint32_t a[kMaxBlockWords];
  uint32_t t[kMaxBlockWords];
  for (int j = 0; j < nb; ++j) a[j] = LoadBE(in + 4 * j) ^ rk[j];
  for (int r = 1; r < rounds_; ++r) {
    rk += nb;
    for (int j = 0; j < nb; ++j) {
      t[j] = kTd0[B0(a[j])] ^ kTd1[B1(a[(j + i1) % nb])] ^ kTd2[B2(a[(j + i2) % nb])] ^
             kTd3[B3(a[(j + i3) % nb])] ^ rk[j];
    }
    std::memcpy(a, t, sizeof a);
  }
  rk += nb;
  for (int j = 0; j < nb; ++j) {
    uint32_t v = Word(kSi[B0(a[j])], kSi[B1(a[(j + i1) % nb])], kSi[B2(a[(j + i2) % nb])],
                      kSi[B3(a[(j + i3) % nb])]);
    StoreBE(result + 4 * j, v ^ rk[j]);
  }
}

void CRijndael::Encipher(const char* in, char* result) const {
  if (blockSize_ == 16) DefEncryptBlock(in, result);
  else WideEncryptBlock(in, result);
}

void CRijndael::Decipher(const char* in, char* result) const {
  if (blockSize_ == 16) DefDecryptBlock(in, result);
  else WideDecryptBlock(in, result);
}

void CRijndael::EncryptBlock(const char* in, char* result) {
  if (!initialized_) Fail("Object not Initialized");
  Encipher(in, result);
}

void CRijndael::DecryptBlock(const char* in, char* result) {
  if (!initialized_) Fail("Object not Initialized");
  Decipher(in, result);
}

void CRijndael::CheckData(size_t n) const {
  if (!initialized_) Fail("Object not Initialized");
  if (n == 0 || n % static_cast<size_t>(blockSize_) != 0) Fail("Data not multiple of Block Size");
}

void CRijndael::Encrypt(const char* in, char* result, size_t n, int mode) {
  CheckData(n);
  const size_t bs = static_cast<size_t>(blockSize_);
  if (mode == CBC) {
    for (size_t i = 0; i < n; i += bs) {
      for (size_t k = 0; k < bs; ++k) chain_[k] = static_cast<char>(chain_[k] ^ in[i + k]);
      Encipher(chain_, result + i);
      std::memcpy(chain_, result + i, bs);
    }
  } else if (mode == CFB) {
    char pad[kMaxBlockSize];
    for (size_t i = 0; i < n; i += bs) {
      Encipher(chain_, pad);
      for (size_t k = 0; k < bs; ++k) result[i + k] = static_cast<char>(pad[k] ^ in[i + k]);
      std::memcpy(chain_, result + i, bs);
    }
  } else if (bs == 16) {
    size_t i = 0;
    for (; i + 32 <= n; i += 32) TwoBlocks16<true>(ke_, rounds_, in + i, result + i);
    if (i < n) DefEncryptBlock(in + i, result + i);
  } else {
    for (size_t i = 0; i < n; i += bs) WideEncryptBlock(in + i, result + i);
  }
}

void CRijndael::Decrypt(const char* in, char* result, size_t n, int mode) {
  CheckData(n);
  const size_t bs = static_cast<size_t>(blockSize_);
  char saved[kMaxBlockSize];
  if (mode == CBC) {
    for (size_t i = 0; i < n; i += bs) {
      std::memcpy(saved, in + i, bs);  // the output may overwrite the input
      Decipher(in + i, result + i);
      for (size_t k = 0; k < bs; ++k) result[i + k] = static_cast<char>(result[i + k] ^ chain_[k]);
      std::memcpy(chain_, saved, bs);
    }
  } else if (mode == CFB) {
    char pad[kMaxBlockSize];
    for (size_t i = 0; i < n; i += bs) {
      std::memcpy(saved, in + i, bs);
      Encipher(chain_, pad);
      for (size_t k = 0; k < bs; ++k) result[i + k] = static_cast<char>(pad[k] ^ saved[k]);
      std::memcpy(chain_, saved, bs);
    }
  } else if (bs == 16) {
    size_t i = 0;
    for (; i + 32 <= n; i += 32) TwoBlocks16<false>(kd_, rounds_, in + i, result + i);
    if (i < n) DefDecryptBlock(in + i, result + i);
  } else {
    for (size_t i = 0; i < n; i += bs) WideDecryptBlock(in + i, result + i);
  }
}

}  // namespace quilta
