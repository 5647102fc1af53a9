// SetPinActive: opens write access with `Key` and writes the new PIN block `aPIN` into the
// PIN file (resetting a locked PIN's counter first).
#include "core/atm_core.h"
#include "txn/card_writes.h"

namespace quilta {

int32_t CAtmCore::SetPinActive() {
  txn::CardWrite write;
  write.pin = true;
  const int32_t st = txn::ReadCardWrite(*this, &write);
  if (st != status::kOk) return st;
  return txn::RunCardWrite(*this, write).status;
}

}  // namespace quilta
