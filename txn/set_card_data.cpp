// SetCardData: opens write access with `Key`, writes the account lists, then reads the card
// data back (ReadBasicData, and ReadAuthInAcctNo when that succeeded). The status is that of
// the last operation run.
#include "core/atm_core.h"
#include "txn/card_writes.h"

namespace quilta {

int32_t CAtmCore::SetCardData() {
  txn::CardWrite write;
  write.lists = true;
  int32_t st = txn::ReadCardWrite(*this, &write);
  if (st != status::kOk) return st;
  const txn::WriteResult written = txn::RunCardWrite(*this, write);
  if (written.status != status::kOk || !written.granted) return written.status;
  st = ReadBasicData();
  if (st != status::kOk) return st;
  return ReadAuthInAcctNo();
}

}  // namespace quilta
