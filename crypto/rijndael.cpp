// The cipher's block functions (the 16-byte block in registers, the wider blocks word by
// word) and its modes; the key schedule is rijndael_key_schedule.cpp.
#include "crypto/rijndael.h"

#include <cstring>

#include "crypto/rijndael_tables.h"

namespace quilta {
namespace {

// ShiftRows offsets of rows 1, 2 and 3 by block words.
struct Shifts {
  int s1, s2, s3;
};
constexpr Shifts ShiftsFor(int nb) { return nb == 8 ? Shifts{1, 3, 4} : Shifts{1, 2, 3}; }

// ---- The 16-byte block: four state words in registers ----

struct State4 {
  uint32_t s0, s1, s2, s3;
};

inline State4 Load4(const char* in, const uint32_t* rk) {
  return {LoadBE(in) ^ rk[0], LoadBE(in + 4) ^ rk[1], LoadBE(in + 8) ^ rk[2],
          LoadBE(in + 12) ^ rk[3]};
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
