// DoActiveTAC: the card's 8-byte challenge (00 86 00 00 08) into `RandomNo` as 16 upper-case
// hex digits, for the bank's server to answer with the `Key` of the write methods.
//
// A card status word arrives reported; a failed transmit hands on the PC/SC result as it is,
// ErrorInfo untouched. An answer that reads as success but holds fewer than 8 challenge bytes
// (a card that answers 66 02, or a short answer with 90 00) gives no challenge: status
// 0x8010002F (SCARD_E_COMM_DATA_LOST, "A communications error with the smart card has been
// detected."), `RandomNo` unchanged.
#include "core/atm_core.h"
#include "base/hex.h"
#include "txn/card_writes.h"

namespace quilta {

namespace {
constexpr size_t kChallengeSize = 8;
}

int32_t CAtmCore::DoActiveTAC() {
  const int32_t st = txn::SendKeepingTransmitResult(*this, card::cmd::Challenge());
  if (st != status::kOk) return st;
  const card::ResponseApdu& r = channel_.response;
  if (!r.HasStatusWord() || r.sw() != status::kSwOk || !r.Covers(0, kChallengeSize))
    return Report(Outcome::Pcsc(platform::scard::kCommDataLost));
  props_.TextOf(Prop::RandomNo) = AsciiText(BytesToHex(r.bytes(), kChallengeSize));
  return status::kOk;
}

}  // namespace quilta
