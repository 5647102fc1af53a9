#include "card/card_data.h"

#include "base/hex.h"
#include "card/commands.h"
#include "card/exchange.h"
#include "card/fisc.h"

namespace quilta::card {
namespace {

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

// The commands of one read in a row: each one's outcome joins the run's (Outcome::Then).
class CommandRun {
 public:
  explicit CommandRun(Channel& channel) : channel_(channel) {}
  // Sends `apdu`; false when the card refused it or it failed to transmit.
  bool Send(const CommandApdu& apdu) {
    const Outcome next = Exchange(channel_, apdu);
    outcome_ = first_ ? next : outcome_.Then(next);
    first_ = false;
    return next.ok();
  }
  const Outcome& outcome() const { return outcome_; }

 private:
  Channel& channel_;
  Outcome outcome_ = Outcome::Ok();
  bool first_ = true;
};

}  // namespace

Outcome ReadBasicData(Channel& channel, BasicData* data) {
  CommandRun run(channel);
  const ResponseApdu& r = channel.response;
  data->accounts.fill(kNoAccount);

  if (!run.Send(cmd::SelectFile(fisc::kFileAccounts))) return run.outcome();

  if (!run.Send(cmd::ReadRecord(1))) return run.outcome();
  if (r.Covers(kIssuerOffset, kIssuerSize))
    data->issuerBankNo = Field(r, kIssuerOffset, kIssuerSize);

  if (!run.Send(cmd::ReadRecord(2))) return run.outcome();
  if (r.Covers(kRemarkOffset, kRemarkSize))
    data->cardRemark = AsciiText(BytesToHex(r.bytes() + kRemarkOffset, kRemarkSize));

  int usable = 0;
  for (int k = 0; k < kAccountSlots; ++k) {
    if (!run.Send(cmd::ReadRecord(static_cast<uint8_t>(3 + k)))) return run.outcome();
    if (!r.Covers(kAccountOffset, kAccountSize) || !IsUsableAccount(r.bytes() + kAccountOffset)) continue;
    data->accounts[k] = Field(r, kAccountOffset, kAccountSize);
    ++usable;
    if (k == 0) data->masterAccountNo = data->accounts[0];
  }

  if (!run.Send(cmd::ReadIdentity())) return run.outcome();
  if (r.Covers(0, fisc::kIdentitySize))
    data->cardNo = AsciiText(BytesToHex(r.bytes(), fisc::kIdentitySize));

  data->accountCount = usable;
  return run.outcome();
}

Outcome ReadRegisteredAccounts(Channel& channel, RegisteredAccounts* accounts) {
  CommandRun run(channel);
  const ResponseApdu& r = channel.response;
  accounts->banks.fill(kNoBank);
  accounts->accounts.fill(kNoAccount);

  if (!run.Send(cmd::SelectFile(fisc::kFileRegistered))) return run.outcome();

  int usable = 0;
  for (int k = 0; k < kAccountSlots; ++k) {
    if (!run.Send(cmd::ReadRecord(static_cast<uint8_t>(1 + k)))) return run.outcome();
    if (!r.Covers(kAuthAccountOffset, kAccountSize) || !IsUsableAccount(r.bytes() + kAuthAccountOffset))
      continue;
    accounts->banks[k] = Field(r, kAuthBankOffset, kAuthBankSize);
    accounts->accounts[k] = Field(r, kAuthAccountOffset, kAccountSize);
    ++usable;
  }

  accounts->count = usable;
  return run.outcome();
}

Outcome ReadCardIdentity(Channel& channel, std::optional<Text>* identity) {
  const Outcome o = Exchange(channel, cmd::ReadIdentity());
  if (!o.ok()) return o;
  const ResponseApdu& r = channel.response;
  // The identity is 16 bytes; a response that does not hold all of them carries none.
  if (r.Covers(0, fisc::kIdentitySize))
    *identity = AsciiText(BytesToHex(r.bytes(), fisc::kIdentitySize));
  return o;
}

}  // namespace quilta::card
