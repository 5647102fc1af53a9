// Keypad input: digits entered with the mouse on the on-screen keypad (DoInput). The entry
// field cannot be typed into; OK hands the digits back after an integrity check of the
// running total kept apart from the entry. One behaviour, InputDialog, over a description of
// its template, entry field, keypad and length (CInputDlg, template 201):
//
//   ui::InputDialog dlg(ui::CInputDlg);
//   if (dlg.Run(site) == 1) use(dlg.Entry());
#pragma once

#include <cstdint>
#include <string>

#include "ui/modal.h"

namespace quilta::ui {

struct InputKind {
  int32_t templateNumber;
  int32_t entryId;  // the display-only field the digits show in
  KeypadLayout keypad;
  int32_t maxDigits;  // further digits are ignored
};

inline constexpr int32_t kMaxInputDigits = 20;  // the entry's room
inline constexpr InputKind CInputDlg{201, kIdInputEntry, kInputKeypad, kMaxInputDigits};

class InputDialog : public Dialog {
 public:
  explicit InputDialog(const InputKind& kind) : Dialog(kind.templateNumber), kind_(kind) {}

  // The digits entered (valid after a run that ended with 1).
  std::string Entry() const { return std::string(entry_, static_cast<size_t>(length_)); }

 protected:
  void OnInit() override;
  void OnCommand(int32_t id) override;

  char entry_[kMaxInputDigits] = {};
  int32_t length_ = 0;
  int32_t runningTotal_ = 0;

 private:
  void ClearEntry();

  InputKind kind_;
};

}  // namespace quilta::ui
