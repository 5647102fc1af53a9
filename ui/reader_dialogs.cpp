#include "ui/reader_dialogs.h"

#include "platform/pcsc.h"

namespace quilta::ui {

void ReaderDialog::OnInit() {
  ticks_ = 0;
  if (kind_.instructionId != -1) SetText(kind_.instructionId, instruction.value_or(Text()));
  if (kind_.rows > 0)
    ShowRows(kind_.rows, [this](int32_t id, const Text& text) { SetText(id, text); });
  SetTimer(1, 1000);
  SetTimer(2, 1000);
}

void ReaderDialog::OnTimer(int32_t) {
  // Both timers land here; the third message, about two seconds after opening, runs the
  // exchange once.
  if (ticks_ == 2) {
    EndDialog(exchange ? exchange(Site().channel)
                       : static_cast<int32_t>(platform::scard::kInvalidParameter));
  }
  ++ticks_;
}

}  // namespace quilta::ui
