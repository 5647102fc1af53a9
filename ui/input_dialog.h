// Template 201: digits entered with the mouse on the on-screen keypad (DoInput). The entry
// field cannot be typed into; OK hands the digits back after an integrity check of the
// running total kept apart from the entry.
#pragma once

#include <cstdint>
#include <string>

#include "ui/modal.h"

namespace quilta::ui {

class CInputDlg : public Dialog {
 public:
  static constexpr int32_t kEntryId = kIdInputEntry;
  static constexpr int32_t kMaxDigits = 20;

  CInputDlg() : Dialog(201) {}

  // The digits entered (valid after a run that ended with 1).
  std::string Entry() const { return std::string(entry_, static_cast<size_t>(length_)); }

 protected:
  void OnInit() override;
  void OnCommand(int32_t id) override;

  char entry_[kMaxDigits] = {};
  int32_t length_ = 0;
  int32_t runningTotal_ = 0;

 private:
  void ClearEntry();
};

}  // namespace quilta::ui
