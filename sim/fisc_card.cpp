#include "sim/fisc_card.h"

#include "card/pin.h"
#include "base/hex.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "crypto/rijndael.h"

namespace quilta::sim {
namespace {

using Response = std::vector<uint8_t>;

Response Sw(uint16_t sw) { return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw & 0xFF)}; }

Response WithSw(std::vector<uint8_t> data, uint16_t sw) {
  data.push_back(static_cast<uint8_t>(sw >> 8));
  data.push_back(static_cast<uint8_t>(sw & 0xFF));
  return data;
}

constexpr uint16_t kOk = 0x9000;
constexpr uint16_t kWrongLength = 0x6700;
constexpr uint16_t kWrongCla = 0x6E00;
constexpr uint16_t kWrongIns = 0x6D00;
constexpr uint16_t kWrongP1P2 = 0x6A86;
constexpr uint16_t kNotFound = 0x6A82;
constexpr uint16_t kRecordNotFound = 0x6A83;
constexpr uint16_t kRefNotFound = 0x6A88;
constexpr uint16_t kNoCurrentFile = 0x6986;
constexpr uint16_t kSecurity = 0x6982;
constexpr uint16_t kAuthFailed = 0x6300;
constexpr uint16_t kNoDiagnosis = 0x6F00;
constexpr uint16_t kPinWrong = 0x6608;
constexpr uint16_t kPinNotVerified = 0x6610;
constexpr uint16_t kPinLocked = 0x6620;

constexpr size_t kAccountRecords = 10;  // file 10 01
constexpr size_t kRegisteredRecords = 8;

// Data width of record r (1-based) of a writable file; 0 when the file has no such record.
size_t RecordWidth(uint16_t fileId, int r) {
  switch (fileId) {
    case kFileAccounts:
      if (r == 1) return 8;
      if (r == 2) return 30;
      return r >= 3 && r <= 10 ? 16 : 0;
    case kFileRegistered:
      return r >= 1 && r <= 8 ? 24 : 0;
    case kFilePin:
      return r == 1 ? 8 : 0;
    default:
      return 0;
  }
}

std::vector<uint8_t> ToVector(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace

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

FiscCard::FiscCard(Profile profile) : FiscCard(std::move(profile), std::random_device{}()) {}

FiscCard::FiscCard(Profile profile, uint64_t seed) : profile_(std::move(profile)), random_(seed) {
  accounts_.resize(kAccountRecords);
  accounts_[0] = ToVector(profile_.issuer);
  accounts_[1] = ToVector(profile_.remark);
  for (size_t i = 0; i < 8; ++i) {
    if (profile_.accounts[i]) accounts_[2 + i] = ToVector(*profile_.accounts[i]);
  }
  registered_.resize(kRegisteredRecords);
  for (size_t i = 0; i < 8; ++i) {
    if (profile_.registered[i]) registered_[i] = ToVector(*profile_.registered[i]);
  }
  tacLog_.assign(kTacLogRecords, std::vector<uint8_t>(kTacLogRecordSize, 0));
  pinBlock_ = PinBlockOf(profile_.pin);
  pinTries_ = std::clamp(profile_.pinTries, 0, kMaxPinTries);
  sequence_ = profile_.sequence % 100000000u;
}

std::vector<uint8_t> FiscCard::Atr() const { return {kFiscAtr.begin(), kFiscAtr.end()}; }

void FiscCard::ClearVolatile() {
  appSelected_ = false;
  currentFile_.reset();
  pinVerified_ = false;
  externalAuth_ = false;
  lastChallenge_.reset();
}

void FiscCard::PowerOn() {
  std::lock_guard lock(mutex_);
  powered_ = true;
  ClearVolatile();
}

void FiscCard::PowerOff() {
  std::lock_guard lock(mutex_);
  powered_ = false;
  ClearVolatile();
}

void FiscCard::Reset() {
  std::lock_guard lock(mutex_);
  powered_ = true;
  ClearVolatile();
}

std::vector<uint8_t> FiscCard::Transmit(const uint8_t* apdu, size_t length) {
  std::lock_guard lock(mutex_);
  if (!powered_) return Sw(kNoDiagnosis);
  auto parsed = Apdu::Parse(apdu, length);
  if (!parsed) return Sw(length >= 2 && apdu[0] != 0x00 ? kWrongCla : kWrongLength);
  return Dispatch(*parsed);
}

std::vector<uint8_t> FiscCard::Dispatch(const Apdu& a) {
  if (a.cla != 0x00) return Sw(kWrongCla);
  switch (a.ins) {
    case fisc::ins::kSelect: return Select(a);
    case fisc::ins::kReadBinary: return ReadBinary(a);
    case fisc::ins::kReadRecord: return ReadRecord(a);
    case fisc::ins::kWriteRecord: return WriteRecord(a);
    case fisc::ins::kVerify: return Verify(a);
    case fisc::ins::kChallenge: return Challenge(a);
    case fisc::ins::kExternalAuthenticate: return ExternalAuthenticate(a);
    case fisc::ins::kResetRetryCounter: return ResetRetryCounter(a);
    case fisc::ins::kTac: return Tac(a);
    default: return Sw(kWrongIns);
  }
}

std::vector<uint8_t> FiscCard::Select(const Apdu& a) {
  if (a.p2 != 0x00 || (a.p1 != 0x04 && a.p1 != 0x02)) return Sw(kWrongP1P2);
  if (!a.hasLc) return Sw(kWrongLength);
  if (a.p1 == 0x04) {
    const Bytes8& aid = profile_.aid;
    if (a.data.size() != aid.size() || !std::equal(a.data.begin(), a.data.end(), aid.begin())) {
      return Sw(kNotFound);
    }
    appSelected_ = true;
    currentFile_.reset();
    return Sw(kOk);
  }
  if (a.data.size() != 2) return Sw(kWrongLength);
  if (!appSelected_) return Sw(kNotFound);
  auto fid = static_cast<uint16_t>(a.data[0] << 8 | a.data[1]);
  switch (fid) {
    case kFileAccounts:
    case kFileRegistered:
    case kFileTacLog:
      currentFile_ = fid;
      return Sw(kOk);
    case kFilePin:
      if (pinTries_ == 0) return Sw(kPinLocked);
      currentFile_ = fid;
      return Sw(kOk);
    default:
      return Sw(kNotFound);
  }
}

std::vector<uint8_t> FiscCard::ReadBinary(const Apdu& a) {
  if (a.p1 != 0x00 || a.p2 != 0x00) return Sw(kWrongP1P2);
  if (a.hasLc || !a.hasLe || (a.le != 16 && a.le != 256)) return Sw(kWrongLength);
  return WithSw({profile_.identity.begin(), profile_.identity.end()}, kOk);
}

std::vector<std::optional<std::vector<uint8_t>>>* FiscCard::RecordsOf(uint16_t fileId) {
  if (fileId == kFileAccounts) return &accounts_;
  if (fileId == kFileRegistered) return &registered_;
  return nullptr;
}

std::vector<uint8_t> FiscCard::ReadRecord(const Apdu& a) {
  if (a.p2 != 0x04) return Sw(kWrongP1P2);
  if (a.hasLc || !a.hasLe) return Sw(kWrongLength);
  if (!appSelected_ || !currentFile_) return Sw(kNoCurrentFile);
  const int r = a.p1;
  if (*currentFile_ == kFilePin) return Sw(kSecurity);
  if (*currentFile_ == kFileTacLog) {
    if (r < 1 || r > static_cast<int>(kTacLogRecords)) return Sw(kRecordNotFound);
    return WithSw(tacLog_[static_cast<size_t>(r - 1)], kOk);
  }
  auto* records = RecordsOf(*currentFile_);
  if (records == nullptr || r < 1 || r > static_cast<int>(records->size())) return Sw(kRecordNotFound);
  const auto& rec = (*records)[static_cast<size_t>(r - 1)];
  if (!rec) return Sw(kRecordNotFound);
  std::vector<uint8_t> out = {static_cast<uint8_t>(r), static_cast<uint8_t>(rec->size())};
  out.insert(out.end(), rec->begin(), rec->end());
  if (a.le != 256 && a.le < out.size()) out.resize(a.le);
  return WithSw(std::move(out), kOk);
}

std::vector<uint8_t> FiscCard::WriteRecord(const Apdu& a) {
  if (a.p2 != 0x04) return Sw(kWrongP1P2);
  if (!a.hasLc || a.hasLe) return Sw(kWrongLength);
  if (!appSelected_ || !currentFile_) return Sw(kNoCurrentFile);
  const uint16_t fid = *currentFile_;
  const int r = a.p1;
  if (fid == kFileTacLog) return Sw(kSecurity);
  const size_t width = RecordWidth(fid, r);
  if (width == 0) return Sw(kRecordNotFound);
  if (a.data.size() != width) return Sw(kWrongLength);
  if (fid == kFilePin) {
    if (!externalAuth_ && !pinVerified_) return Sw(kSecurity);
    std::copy(a.data.begin(), a.data.end(), pinBlock_.begin());
    return Sw(kOk);
  }
  if (!externalAuth_) return Sw(kSecurity);
  auto& rec = (*RecordsOf(fid))[static_cast<size_t>(r - 1)];
  if (!rec) return Sw(kRecordNotFound);
  *rec = a.data;
  return Sw(kOk);
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

std::optional<std::vector<uint8_t>> FiscCard::Record(uint16_t fileId, int record) const {
  std::lock_guard lock(mutex_);
  if (fileId == kFileTacLog) {
    if (record < 1 || record > static_cast<int>(kTacLogRecords)) return std::nullopt;
    return tacLog_[static_cast<size_t>(record - 1)];
  }
  const auto* records = fileId == kFileAccounts ? &accounts_ : fileId == kFileRegistered ? &registered_ : nullptr;
  if (records == nullptr || record < 1 || record > static_cast<int>(records->size())) return std::nullopt;
  const auto& rec = (*records)[static_cast<size_t>(record - 1)];
  if (!rec) return std::nullopt;
  std::vector<uint8_t> out = {static_cast<uint8_t>(record), static_cast<uint8_t>(rec->size())};
  out.insert(out.end(), rec->begin(), rec->end());
  return out;
}

int FiscCard::PinTriesLeft() const {
  std::lock_guard lock(mutex_);
  return pinTries_;
}
uint32_t FiscCard::NextSequence() const {
  std::lock_guard lock(mutex_);
  return sequence_;
}
Bytes8 FiscCard::StoredPinBlock() const {
  std::lock_guard lock(mutex_);
  return pinBlock_;
}
bool FiscCard::Powered() const {
  std::lock_guard lock(mutex_);
  return powered_;
}
bool FiscCard::PinVerified() const {
  std::lock_guard lock(mutex_);
  return pinVerified_;
}
bool FiscCard::ExternallyAuthenticated() const {
  std::lock_guard lock(mutex_);
  return externalAuth_;
}

}  // namespace quilta::sim
