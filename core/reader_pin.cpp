#include "core/reader_pin.h"

#include "core/atm_core.h"
#include "ui/reader_dialogs.h"

namespace quilta {
namespace {

class UiPinPadDialog final : public ReaderPinDialog {
 public:
  int32_t Run(CAtmCore& core, const ReaderPinRequest& request) override {
    ui::CTwoReaderShow dlg;
    dlg.title = request.caption;
    dlg.instruction = request.instruction;
    dlg.mode = request.readerType;
    dlg.command = request.command;
    dlg.pin = request.pin;
    dlg.newPin = request.newPin;
    dlg.change = request.change;
    return dlg.Run(core.dialogSite());
  }
};

}  // namespace

ReaderPinDialog& PinPadDialog() {
  static UiPinPadDialog dialog;
  return dialog;
}

}  // namespace quilta
