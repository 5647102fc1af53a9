// The simulated card's life (power, reset, the commands' dispatch) and what tests and the
// control channel inspect; the commands are fisc_card_files.cpp and fisc_card_security.cpp.
#include "sim/fisc_card.h"

#include <algorithm>

#include "sim/fisc_card_apdu.h"

namespace quilta::sim {
namespace {

constexpr size_t kAccountRecords = 10;  // file 10 01
constexpr size_t kRegisteredRecords = 8;

std::vector<uint8_t> ToVector(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

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

std::optional<std::vector<uint8_t>> FiscCard::Record(uint16_t fileId, int record) const {
  std::lock_guard lock(mutex_);
  if (fileId == kFileTacLog) {
    if (record < 1 || record > static_cast<int>(kTacLogRecords)) return std::nullopt;
    return tacLog_[static_cast<size_t>(record - 1)];
  }
  const auto* records = fileId == kFileAccounts     ? &accounts_
                        : fileId == kFileRegistered ? &registered_
                                                    : nullptr;
  if (records == nullptr || record < 1 || record > static_cast<int>(records->size()))
    return std::nullopt;
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
