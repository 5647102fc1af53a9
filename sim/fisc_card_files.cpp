// The simulated card's file commands: SELECT, READ BINARY, READ RECORD, WRITE RECORD.
#include "sim/fisc_card.h"

#include <algorithm>

#include "sim/fisc_card_apdu.h"

namespace quilta::sim {
namespace {

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

}  // namespace

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
  if (records == nullptr || r < 1 || r > static_cast<int>(records->size()))
    return Sw(kRecordNotFound);
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

}  // namespace quilta::sim
