// The plug-in's dialogs as logic. A caller constructs one on its frame, fills the public
// inputs, calls Run(core) and acts on the end code:
//
//   ui::CTransferDlgNew dlg;
//   dlg.title = u"轉帳確認";
//   dlg.label = {u"轉出帳號", u"轉入帳號", u"金    額", u"交易日期"};
//   dlg.value = {out, in, amount, date};
//   int32_t r = dlg.Run(core);   // 1 OK, 2 cancel, 3 time-out, 4 no card, 5 entry rejected, -1
//
// Handles and the reader name default to the core's (CardContext, ReaderName, CardHandle,
// ActiveProtocol) at the moment of the run; set them to override.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/atm_core.h"
#include "platform/pcsc.h"
#include "ui/modal.h"

namespace quilta::ui {

using OptText = std::optional<Text>;

// ---------------------------------------------------------------------------------------
// Card-presence query and the countdown watch of the confirmation dialogs.

// 1 when the reader holds no card, 0 when it does. One status query that answers at once
// (current state unaware, no time-out needed). The record is reused by every query of its
// owner; a failed query repeats the last state observed (absent before the first success).
class CardPresence {
 public:
  void Reset();  // before the first query of a run: nothing observed yet = absent
  int32_t QueryCardAbsent(platform::Pcsc& pcsc, platform::ScardContext context,
                          const std::string& readerName);

 private:
  platform::ReaderState state_;
};

// Countdown and take-out-and-put-back watch. The history records the states seen: the
// opening state, the take-out, the re-insert; once OK is enabled nothing more is recorded.
class CardWatch {
 public:
  static constexpr int32_t kCountdownId = 213;

  struct Host {
    virtual ~Host() = default;
    virtual int32_t QueryCardAbsent() = 0;
    virtual void EndWith(int32_t code) = 0;
    virtual void EnableOk(bool on) = 0;
    virtual void FocusOk() = 0;
    virtual void SetTimer1() = 0;
    virtual void ShowCountdown(const Text& text) = 0;
  };

  void Start(Host& host, int32_t limitSeconds);
  void Tick(Host& host);

  int32_t SecondsLeft() const { return secondsLeft_; }
  bool OkEnabled() const { return index_ >= 2; }

 private:
  int32_t secondsLeft_ = 0;
  std::array<int32_t, 5> history_{9, 9, 9, 9, 9};
  int32_t index_ = 0;
};

// ---------------------------------------------------------------------------------------
// Transaction summary shown by the confirmation and instruction dialogs.

struct Summary {
  std::array<OptText, 4> label;   // controls 201..204
  std::array<OptText, 4> value;   // controls 205..208
  OptText header1, header2;       // controls 209, 210
};

// ---------------------------------------------------------------------------------------
// Confirmation dialogs: summary, 45 (or 90) second countdown, card out and back in, OK.

class ConfirmationDialog : public Dialog, public Summary, private CardWatch::Host {
 public:
  OptText title;  // the caption
  // The reader to watch and the context to watch it with (default: the core's).
  std::optional<std::string> readerName;
  std::optional<platform::ScardContext> context;

  const CardWatch& Watch() const { return watch_; }

 protected:
  ConfirmationDialog(int32_t templateNumber, int rows, int32_t limitSeconds)
      : Dialog(templateNumber), rows_(rows), limit_(limitSeconds) {}

  Text Caption(const DialogTemplate&) const override { return title.value_or(Text()); }
  void OnInit() override;
  void OnTimer(int32_t id) override;

 private:
  int32_t QueryCardAbsent() override;
  void EndWith(int32_t code) override { EndDialog(code); }
  void EnableOk(bool on) override { Enable(kIdOk, on); }
  void FocusOk() override { Focus(kIdOk); }
  void SetTimer1() override { SetTimer(1, 1000); }
  void ShowCountdown(const Text& text) override { SetText(CardWatch::kCountdownId, text); }

  int rows_;
  int32_t limit_;
  CardWatch watch_;
  CardPresence presence_;
  std::string watchedReader_;
  platform::ScardContext watchedContext_ = 0;
};

class CTransferDlg : public ConfirmationDialog {
 public:
  CTransferDlg() : ConfirmationDialog(904, 4, 45) {}
};

class CTransferDlg_Accessible : public ConfirmationDialog {
 public:
  CTransferDlg_Accessible() : ConfirmationDialog(9041, 4, 45) {}
};

class CDoApplyTACDlg : public ConfirmationDialog {
 public:
  CDoApplyTACDlg() : ConfirmationDialog(203, 3, 45) {}
};

class CDoApplyTACDlg1 : public ConfirmationDialog {
 public:
  CDoApplyTACDlg1() : ConfirmationDialog(204, 2, 90) {}
};

// The transfer confirmation with the on-screen keypad: the customer re-enters the last three
// characters of the in-account (value 2) before OK is accepted.
class CTransferDlgNew : public ConfirmationDialog {
 public:
  static constexpr int32_t kEntryDisplayId = 216;

  CTransferDlgNew() : ConfirmationDialog(104, 4, 45) {}

  bool Confirmed() const { return confirmed_; }
  std::string Entry() const { return std::string(entry_, static_cast<size_t>(length_)); }

 protected:
  void OnInit() override;
  void OnCommand(int32_t id) override;

  void PressDigit(int k);
  void ResetEntry();
  void Accept();
  // Compares the entry with the account's last three characters. True when they match;
  // the character sums of both sides are returned for the integrity check.
  bool MatchesAccount(int32_t* entrySum, int32_t* accountSum) const;

  // Keypad state: the digits typed, how many, whether they matched, and the running total
  // of their character codes kept apart from the entry.
  char entry_[4] = {};
  int32_t length_ = 0;
  bool confirmed_ = false;
  int32_t runningTotal_ = 0;
};

// ---------------------------------------------------------------------------------------
// Second-generation reader instruction dialogs: they send the card commands themselves on
// the third timer message and end with the card's status word (or a PC/SC result).

// The raw exchange: builds the command from hex-text fields, transmits it on `card` and
// returns the transmit result, or SW1 * 256 + SW2. The send PCI names no protocol; a PC/SC
// layer that refuses that (pcsc-lite answers SCARD_E_PROTO_MISMATCH) gets the command again
// with `activeProtocol`. `receive` holds 1,024 bytes; `*received` gets the response length.
int32_t DialogExchange(platform::Pcsc& pcsc, platform::ScardHandle card, uint32_t activeProtocol,
                       const CommandFields& command, uint8_t* receive, uint32_t* received);

class ReaderDialog : public Dialog {
 public:
  OptText title;
  OptText instruction;       // replaces the instruction line (where the template has one)
  int32_t mode = 0;          // ReaderType: 2 or 3
  Text pin;                  // mode 3
  CommandFields command;     // the caller's command
  // Where the caller's command's response lands (1,024 bytes); default: the core's exchange
  // receive area, whose receiveLength is then set as well.
  uint8_t* receive = nullptr;
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

  // One command through DialogExchange into `buffer` (the receive area by default).
  int32_t Send(const CommandFields& fields, uint8_t* buffer = nullptr);
  int32_t SendVerify(const std::string& blockText, uint8_t* buffer = nullptr);
  // 69 F0 from the reader (the customer let its time run out) reads as 5037.
  static int32_t ReaderTimeout(int32_t r) { return r == 0x69F0 ? status::kConfirmTimeout : r; }

 private:
  int32_t instructionId_;
  int32_t ticks_ = 0;
};

// Template 103: the PIN on the reader's own pad, for VerifyPIN and ChangePIN.
class CTwoReaderShow : public ReaderDialog {
 public:
  Text newPin;          // mode 3, change only
  bool change = false;  // mode 3: write the new PIN after the old one was verified

  CTwoReaderShow() : ReaderDialog(103, 202) {}

 protected:
  int32_t Exchange() override;

 private:
  uint8_t own_[1024] = {};
};

// Template 105: the inquiry, transfer and payment TACs.
class CTWOREADERSHOW1 : public ReaderDialog {
 public:
  CTWOREADERSHOW1() : ReaderDialog(105, 210) {}

 protected:
  explicit CTWOREADERSHOW1(int32_t templateNumber) : ReaderDialog(templateNumber, 210) {}
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
  CTwoReaderShowN() : CTwoReaderShowN(106, 212, 4) {}

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

// ---------------------------------------------------------------------------------------
// Template 201: digits entered with the mouse on the on-screen keypad (DoInput).

class CInputDlg : public Dialog {
 public:
  static constexpr int32_t kEntryId = 201;
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
};

// ---------------------------------------------------------------------------------------

// Installs the dialogs the card engine runs through its seams (the PIN on the reader's pad
// for reader types 2 and 3). The bindings and the tests call it once per core.
void InstallDialogs(CAtmCore& core);

}  // namespace quilta::ui
