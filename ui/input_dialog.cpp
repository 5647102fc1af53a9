#include "ui/input_dialog.h"

#include <algorithm>
#include <cstring>

namespace quilta::ui {

void InputDialog::ClearEntry() {
  std::memset(entry_, 0, sizeof entry_);
  length_ = 0;
  runningTotal_ = 0;
  SetText(kind_.entryId, Text());
}

void InputDialog::OnInit() { ClearEntry(); }

void InputDialog::OnCommand(int32_t id) {
  const KeypadLayout& pad = kind_.keypad;
  if (id >= pad.firstKeyId && id < pad.firstKeyId + 10) {
    if (length_ >= std::min(kind_.maxDigits, kMaxInputDigits)) return;
    const char c = static_cast<char>('0' + (id - pad.firstKeyId));
    runningTotal_ += c;
    entry_[length_++] = c;
    SetText(kind_.entryId, AsciiText(Entry()));
  } else if (id == pad.clearId) {
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
