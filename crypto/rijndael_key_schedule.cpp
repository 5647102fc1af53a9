// The key schedule: SetKey's round keys for encryption and for the equivalent inverse cipher.
#include "crypto/rijndael.h"

#include <array>
#include <cstring>

#include "crypto/rijndael_tables.h"

namespace quilta {
namespace {

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

inline uint32_t SubWord(uint32_t w) {
  return Word(kS[B0(w)], kS[B1(w)], kS[B2(w)], kS[B3(w)]);
}

inline uint32_t InvMixColumn(uint32_t w) {
  // The inverse tables contain the inverse S-box; undo it with the S-box first.
  return kTd0[kS[B0(w)]] ^ kTd1[kS[B1(w)]] ^ kTd2[kS[B2(w)]] ^ kTd3[kS[B3(w)]];
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

}  // namespace quilta
