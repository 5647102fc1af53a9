// The reader-instruction dialogs of PIN-pad readers (reader types 2 and 3): they tell the
// customer what to do on the reader and, on the third timer message (about two seconds after
// opening), run the card exchange their caller handed them; its result (the card's status
// word or a PC/SC result) ends the dialog. The window stays frozen while the reader waits for
// the customer. Esc (or the close box of 105/1051) before that ends with 2, Enter with 1.
//
// One behaviour, ReaderDialog; the dialogs differ only in their template, the instruction
// line their caller replaces and the summary rows they show, and are descriptions of it:
//
//   ui::ReaderDialog dlg(ui::CTWOREADERSHOW1);
//   dlg.title = u"餘額查詢";
//   dlg.instruction = u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按";
//   dlg.exchange = [&](card::Channel& channel) { return ...; };
//   int32_t r = dlg.Run(site);
#pragma once

#include <cstdint>
#include <functional>

#include "card/channel.h"
#include "ui/modal.h"
#include "ui/summary.h"

namespace quilta::ui {

struct ReaderDialogKind {
  int32_t templateNumber;
  // The line the caller's instruction replaces; -1: the template keeps its own.
  int32_t instructionId;
  int rows;  // summary rows shown (0: no summary, the header lines untouched too)
};

// Template 103: the PIN on the reader's own pad, for VerifyPIN and ChangePIN.
inline constexpr ReaderDialogKind CTwoReaderShow{103, kIdPinInstruction, 0};
// Templates 105 and 1051 (16 points): the inquiry, transfer and payment TACs.
inline constexpr ReaderDialogKind CTWOREADERSHOW1{105, kIdTxnInstruction, 0};
inline constexpr ReaderDialogKind CTWOREADERSHOW1_Accessible{1051, kIdTxnInstruction, 0};
// Template 106: the TAC with the transaction's summary.
inline constexpr ReaderDialogKind CTwoReaderShowN{106, kIdSummaryInstruction, 4};
// The apply dialogs: the summary, and their template's own instruction line.
inline constexpr ReaderDialogKind CDoApplyTACDlg151{206, -1, 3};
inline constexpr ReaderDialogKind CDoApplyTACDlg152{205, -1, 2};
inline constexpr ReaderDialogKind CDoApplyTACDlg251{207, -1, 3};
inline constexpr ReaderDialogKind CDoApplyTACDlg252{208, -1, 2};

// The card exchange of one run, handed the site's card channel: the dialog ends with its
// result.
using CardExchange = std::function<int32_t(card::Channel& channel)>;

class ReaderDialog : public Dialog, public Summary {
 public:
  explicit ReaderDialog(const ReaderDialogKind& kind) : Dialog(kind.templateNumber), kind_(kind) {}

  OptText title;
  OptText instruction;  // replaces the instruction line (where the template has one)
  // Without one the dialog ends with SCARD_E_INVALID_PARAMETER when its time comes.
  CardExchange exchange;

  int32_t Ticks() const { return ticks_; }

 protected:
  Text Caption(const DialogTemplate&) const override { return title.value_or(Text()); }
  void OnInit() override;
  void OnTimer(int32_t id) override;

 private:
  ReaderDialogKind kind_;
  int32_t ticks_ = 0;
};

}  // namespace quilta::ui
