// The simulated card's security: the PIN block, VERIFY, the challenge and EXTERNAL
// AUTHENTICATE, RESET RETRY COUNTER and the TAC with its log.
#include "sim/fisc_card.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/hex.h"
#include "card/pin.h"
#include "crypto/rijndael.h"
#include "sim/fisc_card_apdu.h"

namespace quilta::sim {

Bytes8 PinBlockOf(std::string_view pin) {
  Bytes8 block{};
  HexToBytes(card::PinBlockText(pin), block.size(), block.data());
  return block;
}

std::array<char, 8> SequenceDigits(uint32_t sequence) {
  std::array<char, 8> d{};
  sequence %= 100000000u;
  for (int i = 7; i >= 0; --i) {
    d[static_cast<size_t>(i)] = static_cast<char>('0' + sequence % 10);
    sequence /= 10;
  }
  return d;
}

Bytes8 ComputeTac(const Bytes16& tacKey, uint32_t sequence, const uint8_t* block, size_t n) {
  std::vector<char> data;
  auto digits = SequenceDigits(sequence);
  data.insert(data.end(), digits.begin(), digits.end());
  data.insert(data.end(), block, block + n);
  data.push_back(static_cast<char>(0x80));
  while (data.size() % 16 != 0) data.push_back(0);
  std::vector<char> out(data.size());
  char zeroIv[16] = {};
  CRijndael aes;
  aes.SetKey(reinterpret_cast<const char*>(tacKey.data()), zeroIv, 16, 16);
  aes.Encrypt(data.data(), out.data(), data.size(), CRijndael::CBC);
  Bytes8 tac{};
  std::memcpy(tac.data(), out.data() + out.size() - 16, 8);
  return tac;
}

Bytes8 ChallengeResponse(const Bytes16& authKey, const Bytes8& challenge) {
  char in[16] = {};
  std::memcpy(in, challenge.data(), 8);
  char out[16];
  char zeroIv[16] = {};
  CRijndael aes;
  aes.SetKey(reinterpret_cast<const char*>(authKey.data()), zeroIv, 16, 16);
  aes.EncryptBlock(in, out);
  Bytes8 r{};
  std::memcpy(r.data(), out, 8);
  return r;
}

std::vector<uint8_t> FiscCard::Verify(const Apdu& a) {
  if (a.p1 != 0x00) return Sw(kWrongP1P2);
  if (a.p2 != 0x10) return Sw(kRefNotFound);
  if (!a.hasLc || a.hasLe || a.data.size() != 8) return Sw(kWrongLength);
  if (!appSelected_) return Sw(kNoCurrentFile);
  if (pinTries_ == 0) return Sw(kPinLocked);
  if (std::equal(a.data.begin(), a.data.end(), pinBlock_.begin())) {
    pinTries_ = kMaxPinTries;
    pinVerified_ = true;
    return Sw(kOk);
  }
  pinVerified_ = false;
  --pinTries_;
  return Sw(pinTries_ == 0 ? kPinLocked : kPinWrong);
}

std::vector<uint8_t> FiscCard::Challenge(const Apdu& a) {
  if (a.p1 != 0x00 || a.p2 != 0x00) return Sw(kWrongP1P2);
  if (a.hasLc || !a.hasLe || (a.le != 8 && a.le != 256)) return Sw(kWrongLength);
  Bytes8 c{};
  uint64_t r = random_();
  std::memcpy(c.data(), &r, 8);
  lastChallenge_ = c;
  return WithSw({c.begin(), c.end()}, kOk);
}

std::vector<uint8_t> FiscCard::ExternalAuthenticate(const Apdu& a) {
  if (a.p1 != 0x00 || a.p2 != 0x18) return Sw(kWrongP1P2);
  if (!a.hasLc || a.hasLe || a.data.size() != 8) return Sw(kWrongLength);
  if (!appSelected_) return Sw(kNoCurrentFile);
  Bytes8 expected = profile_.externalKey;
  externalAuth_ = false;
  if (profile_.authMode == AuthMode::kChallenge) {
    if (!lastChallenge_) return Sw(kAuthFailed);
    try {
      expected = ChallengeResponse(profile_.authKey, *lastChallenge_);
    } catch (const std::exception&) {
      return Sw(kNoDiagnosis);
    }
    lastChallenge_.reset();  // a challenge answers one attempt only
  }
  if (!std::equal(a.data.begin(), a.data.end(), expected.begin())) return Sw(kAuthFailed);
  externalAuth_ = true;
  return Sw(kOk);
}

std::vector<uint8_t> FiscCard::ResetRetryCounter(const Apdu& a) {
  if (a.p1 != 0x00 || a.p2 != 0x00) return Sw(kWrongP1P2);
  if (!a.hasLc || a.hasLe || a.data.size() != 2) return Sw(kWrongLength);
  if (!appSelected_) return Sw(kNoCurrentFile);
  if (a.data[0] != (kFilePin >> 8) || a.data[1] != (kFilePin & 0xFF)) return Sw(kNotFound);
  if (!externalAuth_) return Sw(kSecurity);
  pinTries_ = kMaxPinTries;
  return Sw(kOk);
}

std::vector<uint8_t> FiscCard::Tac(const Apdu& a) {
  if (a.p1 != 0x10 || a.p2 != 0x80) return Sw(kWrongP1P2);
  if (!a.hasLc) return Sw(kWrongLength);
  if (!appSelected_) return Sw(kNoCurrentFile);
  if (!pinVerified_) return Sw(kPinNotVerified);
  Bytes8 tac{};
  try {
    tac = ComputeTac(profile_.tacKey, sequence_, a.data.data(), a.data.size());
  } catch (const std::exception&) {
    return Sw(kNoDiagnosis);
  }
  const auto digits = SequenceDigits(sequence_);
  std::vector<uint8_t> out(19, 0);
  std::copy(digits.begin(), digits.end(), out.begin() + 1);
  std::copy(tac.begin(), tac.end(), out.begin() + 11);

  std::vector<uint8_t> log(kTacLogRecordSize, 0);
  std::copy(digits.begin(), digits.end(), log.begin());
  std::copy(tac.begin(), tac.end(), log.begin() + 8);
  std::copy_n(a.data.begin(), std::min<size_t>(14, a.data.size()), log.begin() + 16);
  tacLog_.pop_back();
  tacLog_.insert(tacLog_.begin(), std::move(log));

  sequence_ = (sequence_ + 1) % 100000000u;
  return WithSw(std::move(out), kOk);
}

}  // namespace quilta::sim
