#include "core/reader_pin.h"

#include "card/pad_exchange.h"
#include "core/atm_core.h"
#include "platform/pcsc.h"
#include "ui/reader_dialogs.h"

namespace quilta {
namespace {

// What the dialog sends: type 3 the page's PIN and, for a change, the new one only after the
// card took the old one; type 2 the request's command, the reader asking the customer for
// the PIN. The status word goes back as it is: the callers map it, 69 F0 included. The
// answers land in a buffer of the exchange's own; the exchange response keeps the last
// answer of the page's own commands.
int32_t PinExchange(card::Channel& channel, const ReaderPinRequest& request) {
  card::ResponseApdu own;
  if (request.readerType == 3) {
    const int32_t r = card::PadVerify(channel, request.pin.value(), &own);
    if (!request.change || r != status::kSwOk) return r;
    return card::PadWritePin(channel, request.newPin.value(), &own);
  }
  if (!request.command) return static_cast<int32_t>(platform::scard::kInvalidParameter);
  return card::PadSend(channel, *request.command, &own);
}

class UiPinPadDialog final : public ReaderPinDialog {
 public:
  int32_t Run(CAtmCore& core, const ReaderPinRequest& request) override {
    ui::ReaderDialog dlg(ui::CTwoReaderShow);
    dlg.title = request.caption;
    dlg.instruction = request.instruction;
    dlg.exchange = [&request](card::Channel& channel) { return PinExchange(channel, request); };
    return dlg.Run(core.dialogSite());
  }
};

}  // namespace

ReaderPinDialog& PinPadDialog() {
  static UiPinPadDialog dialog;
  return dialog;
}

}  // namespace quilta
