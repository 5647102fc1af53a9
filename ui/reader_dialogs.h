// Second-generation reader instruction dialogs (PIN pad readers): they tell the customer what
// to do on the reader, send the card commands themselves on the third timer message (about
// two seconds after opening) and end with the card's status word or a PC/SC result. Esc (or
// the close box of 105/1051) before that ends with 2, Enter with 1.
//
// Every command of these dialogs goes through ReaderDialog::Send, the one place where they
// reach the card: it sends on the site's card channel (its card handle and protocol, and its
// exchange response unless the caller named another) in the channel's dialog form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/secret.h"
#include "base/status.h"
#include "card/apdu.h"
#include "platform/pcsc.h"
#include "ui/modal.h"
#include "ui/summary.h"

namespace quilta::ui {

class ReaderDialog : public Dialog {
 public:
  OptText title;
  OptText instruction;       // replaces the instruction line (where the template has one)
  int32_t mode = 0;          // ReaderType: 2 or 3
  SecretText pin;            // mode 3
  std::optional<card::CommandApdu> command;  // the caller's command
  // Where the caller's command's response lands; default: the channel's exchange response.
  card::ResponseApdu* receive = nullptr;
  uint32_t received = 0;     // response length of the last command
  std::optional<platform::ScardHandle> cardHandle;
  std::optional<uint32_t> protocol;

  int32_t Ticks() const { return ticks_; }

 protected:
  ReaderDialog(int32_t templateNumber, int32_t instructionId)
      : Dialog(templateNumber), instructionId_(instructionId) {}

  Text Caption(const DialogTemplate&) const override { return title.value_or(Text()); }
  void OnInit() override;
  void OnTimer(int32_t id) override;

  virtual void ShowInputs();
  // The class's card exchange; its result ends the dialog.
  virtual int32_t Exchange() = 0;

  // One command on the channel into `buffer` (the caller's receive area by default): the
  // transmit result, or SW1 * 256 + SW2.
  int32_t Send(const card::CommandApdu& apdu, card::ResponseApdu* buffer = nullptr);
  int32_t SendVerify(const SecretText& pinText, card::ResponseApdu* buffer = nullptr);
  // 69 F0 from the reader (the customer let its time run out) reads as 5037.
  static int32_t ReaderTimeout(int32_t r) { return r == 0x69F0 ? status::kConfirmTimeout : r; }

 private:
  int32_t instructionId_;
  int32_t ticks_ = 0;
};

// Template 103: the PIN on the reader's own pad, for VerifyPIN and ChangePIN.
class CTwoReaderShow : public ReaderDialog {
 public:
  SecretText newPin;    // mode 3, change only
  bool change = false;  // mode 3: write the new PIN after the old one was verified

  CTwoReaderShow() : ReaderDialog(103, kIdPinInstruction) {}

 protected:
  int32_t Exchange() override;

 private:
  card::ResponseApdu own_;
};

// Template 105: the inquiry, transfer and payment TACs.
class CTWOREADERSHOW1 : public ReaderDialog {
 public:
  CTWOREADERSHOW1() : ReaderDialog(105, kIdTxnInstruction) {}

 protected:
  explicit CTWOREADERSHOW1(int32_t templateNumber)
      : ReaderDialog(templateNumber, kIdTxnInstruction) {}
  int32_t Exchange() override;
};

class CTWOREADERSHOW1_Accessible : public CTWOREADERSHOW1 {
 public:
  CTWOREADERSHOW1_Accessible() : CTWOREADERSHOW1(1051) {}
};

// Template 106 and the apply dialogs: summary rows, VERIFY (all-F block in mode 2, the PIN
// in mode 3), then the caller's command.
class CTwoReaderShowN : public ReaderDialog, public Summary {
 public:
  CTwoReaderShowN() : CTwoReaderShowN(106, kIdSummaryInstruction, 4) {}

 protected:
  CTwoReaderShowN(int32_t templateNumber, int32_t instructionId, int rows)
      : ReaderDialog(templateNumber, instructionId), rows_(rows) {}
  void ShowInputs() override;
  int32_t Exchange() override;

 private:
  int rows_;
};

// The apply dialogs keep their template's instruction line.
class CDoApplyTACDlg151 : public CTwoReaderShowN {
 public:
  CDoApplyTACDlg151() : CTwoReaderShowN(206, -1, 3) {}
};
class CDoApplyTACDlg152 : public CTwoReaderShowN {
 public:
  CDoApplyTACDlg152() : CTwoReaderShowN(205, -1, 2) {}
};
class CDoApplyTACDlg251 : public CTwoReaderShowN {
 public:
  CDoApplyTACDlg251() : CTwoReaderShowN(207, -1, 3) {}
};
class CDoApplyTACDlg252 : public CTwoReaderShowN {
 public:
  CDoApplyTACDlg252() : CTwoReaderShowN(208, -1, 2) {}
};

}  // namespace quilta::ui
