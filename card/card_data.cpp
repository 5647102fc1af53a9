#include "card/card_data.h"

#include "card/commands.h"
#include "card/exchange.h"
#include "card/fisc.h"
#include "base/hex.h"

namespace quilta::card {
namespace {

constexpr char kNoAccount[] = "0000000000000000";
constexpr char kNoBank[] = "00000000";
constexpr int kAccountSlots = 8;

// Record layouts: every record's data starts after two header bytes.
constexpr size_t kIssuerOffset = 2, kIssuerSize = 8;
constexpr size_t kRemarkOffset = 2, kRemarkSize = 30;
constexpr size_t kAccountOffset = 2, kAccountSize = 16;
constexpr size_t kAuthBankOffset = 2, kAuthBankSize = 8;
constexpr size_t kAuthAccountOffset = 10;

// An account field is unusable when it is all blanks, all zero bytes or all '0'
// characters; any mixture counts as usable.
bool IsUsableAccount(const uint8_t* field) {
  int blanks = 0, zeros = 0, digitZeros = 0;
  for (size_t i = 0; i < kAccountSize; ++i) {
    uint8_t b = field[i];
    if (b == 0x20) ++blanks;
    else if (b == 0x00) ++zeros;
    else if (b == '0') ++digitZeros;
    else break;
  }
  return blanks < 16 && zeros < 16 && digitZeros < 16;
}

Text Field(const ResponseApdu& r, size_t offset, size_t size) {
  return FromNarrow(TakeBytes(r.bytes(), offset, static_cast<int>(size)));
}

}  // namespace

int32_t ReadBasicData(CoreParts& core) {
  PropertyStore& p = core.props;
  const ResponseApdu& r = core.channel.response;
  for (int k = 0; k < kAccountSlots; ++k) p.T(Prop::AccountNo0 + k) = AsciiText(kNoAccount);

  int32_t st = Send(core, cmd::SelectFile(fisc::kFileAccounts));
  if (st != status::kOk) return st;

  st = Send(core, cmd::ReadRecord(1));
  if (st != status::kOk) return st;
  if (r.Covers(kIssuerOffset, kIssuerSize)) p.T(Prop::IssuerBankNo) = Field(r, kIssuerOffset, kIssuerSize);

  st = Send(core, cmd::ReadRecord(2));
  if (st != status::kOk) return st;
  if (r.Covers(kRemarkOffset, kRemarkSize))
    p.T(Prop::CardRemark) = AsciiText(BytesToHex(r.bytes() + kRemarkOffset, kRemarkSize));

  int usable = 0;
  for (int k = 0; k < kAccountSlots; ++k) {
    st = Send(core, cmd::ReadRecord(static_cast<uint8_t>(3 + k)));
    if (st != status::kOk) return st;
    if (!r.Covers(kAccountOffset, kAccountSize) || !IsUsableAccount(r.bytes() + kAccountOffset)) continue;
    p.T(Prop::AccountNo0 + k) = Field(r, kAccountOffset, kAccountSize);
    ++usable;
    if (k == 0) p.T(Prop::MasterAccountNo) = p.T(Prop::AccountNo0);
  }

  st = Send(core, cmd::ReadIdentity());
  if (st != status::kOk) return st;
  if (r.Covers(0, fisc::kIdentitySize))
    p.T(Prop::CardNo) = AsciiText(BytesToHex(r.bytes(), fisc::kIdentitySize));

  p.N(Prop::AccountCount) = usable;
  return status::kOk;
}

int32_t ReadAuthInAcctNo(CoreParts& core) {
  PropertyStore& p = core.props;
  const ResponseApdu& r = core.channel.response;
  for (int k = 0; k < kAccountSlots; ++k) {
    p.T(Prop::AuthInBankNo0 + k) = AsciiText(kNoBank);
    p.T(Prop::AuthInAccountNo0 + k) = AsciiText(kNoAccount);
  }

  int32_t st = Send(core, cmd::SelectFile(fisc::kFileRegistered));
  if (st != status::kOk) return st;

  int usable = 0;
  for (int k = 0; k < kAccountSlots; ++k) {
    st = Send(core, cmd::ReadRecord(static_cast<uint8_t>(1 + k)));
    if (st != status::kOk) return st;
    if (!r.Covers(kAuthAccountOffset, kAccountSize) || !IsUsableAccount(r.bytes() + kAuthAccountOffset))
      continue;
    p.T(Prop::AuthInBankNo0 + k) = Field(r, kAuthBankOffset, kAuthBankSize);
    p.T(Prop::AuthInAccountNo0 + k) = Field(r, kAuthAccountOffset, kAccountSize);
    ++usable;
  }

  p.N(Prop::AuthInCount) = usable;
  return status::kOk;
}

}  // namespace quilta::card
