// DoInput: digits from the on-screen keypad (CInputDlg), handed back as Value and, encrypted
// under the session key, ValueTAC. The session key is unwrapped first (its status returned,
// nothing shown). End codes: 1 the digits (nothing entered: both empty), 2 5036, 5 5060 (the
// entry failed its integrity check). A dialog that cannot be shown (-1) reads as 5036 too:
// the customer entered nothing, and the page must not take the old Value for an answer.
// Only success writes Value and ValueTAC.
#include "core/atm_core.h"
#include "txn/steps.h"
#include "ui/input_dialog.h"

namespace quilta {

int32_t CAtmCore::DoInput() {
  const int32_t st = txn::UnwrapSessionKey(*this);
  if (st != status::kOk) return st;
  ui::InputDialog dlg(ui::CInputDlg);
  switch (dlg.Run(dialogSite())) {
    case dialog_end::kOk: {
      const Text value = AsciiText(dlg.Entry());
      props_.TextOf(Prop::Value) = value;
      props_.TextOf(Prop::ValueTAC) = value.empty() ? Text() : EncryptField(value);
      return status::kOk;
    }
    case dialog_end::kEntryRejected:
      return Report(status::kKeypadTampered);
    default:
      return Report(status::kUserCancel);
  }
}

}  // namespace quilta
