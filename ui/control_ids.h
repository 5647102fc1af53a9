// The ids of the template controls that the dialog logic addresses, each named once. The
// template tables (ui/templates.cpp) place their controls under these names; the dialogs, the
// scripted customer and the tests use the same names.
#pragma once

#include <cstdint>

namespace quilta::ui {

// Buttons of every template: OK (also Enter) and Cancel (also Esc and the close box).
inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;

// The transaction summary (templates 104, 106, 203..208, 904, 9041): labels of rows 0..3,
// their values (row 0 has a sunken frame) and two header lines at the same place.
inline constexpr int kSummaryRows = 4;
inline constexpr int32_t kIdFirstLabel = 201;
inline constexpr int32_t kIdFirstValue = 205;
inline constexpr int32_t kIdHeader1 = 209;
inline constexpr int32_t kIdHeader2 = 210;
constexpr int32_t SummaryLabelId(int row) { return kIdFirstLabel + row; }
constexpr int32_t SummaryValueId(int row) { return kIdFirstValue + row; }

// The countdown of the confirmation templates (104, 203, 204, 904, 9041).
inline constexpr int32_t kIdCountdown = 213;

// The entry display of the transfer keypad (104) and the entry field of the input keypad (201).
inline constexpr int32_t kIdTransferEntry = 216;
inline constexpr int32_t kIdInputEntry = 201;

// The instruction line that a reader dialog's caller replaces: template 103, templates 105 and
// 1051, template 106. The apply templates (205..208) keep theirs.
inline constexpr int32_t kIdPinInstruction = 202;
inline constexpr int32_t kIdTxnInstruction = 210;
inline constexpr int32_t kIdSummaryInstruction = 212;

// Keypad conventions: the key at position k (k = 0..9) of a keypad is the button with id
// firstKeyId + k; it shows digit k, carries value k and never moves.
struct KeypadLayout {
  int32_t firstKeyId;   // 202 (template 201), 217 (template 104)
  int32_t clearId;      // 212, 215
  int16_t firstBitmap;  // normal and pushed picture of key 0 (132, 732)
  int16_t firstHover;   // hover picture of key 0 (143, 743)
  int16_t clearBitmap;  // 153, 716
  int16_t clearHover;   // 154, 717
};
inline constexpr KeypadLayout kInputKeypad{202, 212, 132, 143, 153, 154};
inline constexpr KeypadLayout kTransferKeypad{217, 215, 732, 743, 716, 717};

}  // namespace quilta::ui
