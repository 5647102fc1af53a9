// DoLoginTAC: once the PIN was verified on this card (VerifyPIN, or a type-2 inquiry with the
// PIN typed on the reader), the card number and the card's eight account slots go to the
// bank's server encrypted under the session key, with the key itself: SessionTAC is
// EncryptField of CardNo, AccountNo0..AccountNo7 and PlainSessionKey (176 characters, 352
// hex digits). No card command besides ReadBasicData, no dialog; only SessionTAC is written.
#include <array>

#include "core/atm_core.h"
#include "txn/blocks.h"
#include "txn/steps.h"

namespace quilta {

int32_t CAtmCore::DoLoginTAC() {
  if (!state_.pinVerified && !state_.readerPinDone) return Report(status::kPinNotVerified);
  int32_t st = txn::UnwrapSessionKey(*this);
  if (st != status::kOk) return st;
  if ((st = ReadBasicData()) != status::kOk) return st;

  std::array<std::string, txn::kLoginSlots> accounts;
  for (size_t k = 0; k < accounts.size(); ++k)
    accounts[k] = ToNarrow(props_.TextOf(Prop::AccountNo0 + static_cast<int>(k)));
  SecretBytes key(ToNarrow(state_.plainSessionKey.value()));
  SecretText text(FromNarrow(
      txn::LoginSessionText(ToNarrow(props_.TextOf(Prop::CardNo)), accounts, key.view())));
  props_.TextOf(Prop::SessionTAC) = EncryptField(text.value());
  return Report(status::kOk);
}

}  // namespace quilta
