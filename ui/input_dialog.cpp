#include "ui/input_dialog.h"

#include <cstring>

namespace quilta::ui {

void CInputDlg::ClearEntry() {
  std::memset(entry_, 0, sizeof entry_);
  length_ = 0;
  runningTotal_ = 0;
  SetText(kIdInputEntry, Text());
}

void CInputDlg::OnInit() { ClearEntry(); }

void CInputDlg::OnCommand(int32_t id) {
  if (id >= kInputKeypad.firstKeyId && id < kInputKeypad.firstKeyId + 10) {
    if (length_ >= kMaxDigits) return;
    const char c = static_cast<char>('0' + (id - kInputKeypad.firstKeyId));
    runningTotal_ += c;
    entry_[length_++] = c;
    SetText(kIdInputEntry, AsciiText(Entry()));
  } else if (id == kInputKeypad.clearId) {
    ClearEntry();
  } else if (id == kIdOk) {
    int32_t sum = 0;
    for (int32_t i = 0; i < length_; ++i) sum += static_cast<unsigned char>(entry_[i]);
    EndDialog(sum == runningTotal_ ? result::kOk : result::kEntryRejected);
  } else if (id == kIdCancel) {
    EndDialog(result::kCancel);
  }
}

}  // namespace quilta::ui
