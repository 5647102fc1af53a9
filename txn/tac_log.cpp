// ReadTACLog: the card's log of its last ten TACs (file 10 80), record k into TACLog(k-1) as
// hex, uninterpreted. It needs a verified PIN (or a type-2 inquiry done) and relies on the
// application selected by ConnectCard; it stops at the first command the card refuses,
// keeping what it read before. GetAtmCode only checks its three arguments (at most 10
// characters each, 6002) and changes nothing, not even ErrorInfo.
#include "base/hex.h"
#include "card/commands.h"
#include "card/fisc.h"
#include "core/atm_core.h"

namespace quilta {
namespace {
constexpr int kTacLogRecords = 10;
constexpr size_t kAtmCodeArgumentMax = 10;
}  // namespace

int32_t CAtmCore::ReadTACLog() {
  if (!state_.pinVerified && !state_.readerPinDone) return Report(status::kPinNotVerified);
  int32_t st = Send(card::cmd::SelectFile(fisc::kFileTacLog));
  if (st != status::kOk) return st;
  const card::ResponseApdu& r = channel_.response;
  for (int k = 1; k <= kTacLogRecords; ++k) {
    if ((st = Send(card::cmd::ReadRecord(static_cast<uint8_t>(k)))) != status::kOk) return st;
    if (r.dataSize() > 0)
      props_.TextOf(Prop::TACLog0 + (k - 1)) = AsciiText(BytesToHex(r.bytes(), r.dataSize()));
  }
  return status::kOk;
}

int32_t CAtmCore::GetAtmCode(const Text& inAccountNo, const Text& amount, const Text& sessionKey) {
  for (const Text* argument : {&inAccountNo, &amount, &sessionKey})
    if (NarrowLength(*argument) > kAtmCodeArgumentMax) return Report(status::kBadParameter);
  return status::kOk;
}

}  // namespace quilta
