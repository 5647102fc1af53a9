// SetCardActive: opens write access with `Key`, writes the new PIN block `aPIN` into the PIN
// file (resetting a locked PIN's counter first), and, when `aSetData` is exactly "Y", the
// account lists. The card data properties are not refreshed.
#include "core/atm_core.h"
#include "txn/card_writes.h"

namespace quilta {

int32_t CAtmCore::SetCardActive() {
  txn::CardWrite write;
  write.pin = true;
  write.lists = props_.TextOf(Prop::aSetData) == u"Y";
  const int32_t st = txn::ReadCardWrite(*this, &write);
  if (st != status::kOk) return st;
  return txn::RunCardWrite(*this, write).status;
}

}  // namespace quilta
