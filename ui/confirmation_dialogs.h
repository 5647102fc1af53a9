// The confirmation dialogs: a transaction summary, a 45 (or 90) second countdown, and OK only
// after the card was taken out and put back. One behaviour, ConfirmationDialog; the dialogs
// that differ only in their template, rows and seconds are descriptions of it (CTransferDlg,
// CTransferDlg_Accessible, CDoApplyTACDlg, CDoApplyTACDlg1). CTransferDlgNew adds the keypad
// on which the customer re-types the in-account's last three characters. A caller constructs
// one on its frame, fills the public inputs, calls Run(site) and acts on the end code:
//
//   ui::CTransferDlgNew dlg;              // or: ui::ConfirmationDialog dlg(ui::CTransferDlg);
//   dlg.title = u"轉帳確認";
//   dlg.label = {u"轉出帳號", u"轉入帳號", u"金    額", u"交易日期"};
//   dlg.value = {out, in, amount, date};
//   int32_t r = dlg.Run(site);   // 1 OK, 2 cancel, 3 time-out, 4 no card, 5 entry rejected, -1
//
// The reader is watched through the site's card channel, with a PC/SC context and reader
// name that default to the channel's context and the site's reader at the moment of the
// run; the callers release the card first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/pcsc.h"
#include "ui/card_watch.h"
#include "ui/modal.h"
#include "ui/summary.h"

namespace quilta::ui {

// What tells one confirmation from another: its template, how many summary rows it shows
// and the seconds the customer has.
struct ConfirmationKind {
  int32_t templateNumber;
  int rows;
  int32_t limitSeconds;
};

inline constexpr ConfirmationKind CTransferDlg{904, 4, 45};
inline constexpr ConfirmationKind CTransferDlg_Accessible{9041, 4, 45};  // 904 in 16 points
inline constexpr ConfirmationKind CDoApplyTACDlg{203, 3, 45};
inline constexpr ConfirmationKind CDoApplyTACDlg1{204, 2, 90};

class ConfirmationDialog : public Dialog, public Summary, private CardWatch::Host {
 public:
  explicit ConfirmationDialog(const ConfirmationKind& kind)
      : Dialog(kind.templateNumber), rows_(kind.rows), limit_(kind.limitSeconds) {}

  OptText title;  // the caption
  // The reader to watch and the context to watch it with (default: the site's).
  std::optional<std::string> readerName;
  std::optional<platform::ScardContext> context;

  const CardWatch& Watch() const { return watch_; }

 protected:
  Text Caption(const DialogTemplate&) const override { return title.value_or(Text()); }
  void OnInit() override;
  void OnTimer(int32_t id) override;

 private:
  int32_t QueryCardAbsent() override;
  void EndWith(int32_t code) override { EndDialog(code); }
  void EnableOk(bool on) override { Enable(kIdOk, on); }
  void FocusOk() override { Focus(kIdOk); }
  void SetTimer1() override { SetTimer(1, 1000); }
  void ShowCountdown(const Text& text) override { SetText(kIdCountdown, text); }
  int64_t NowMs() override { return ClockMs(); }

  int rows_;
  int32_t limit_;
  CardWatch watch_;
  CardPresence presence_;
  std::string watchedReader_;
  platform::ScardContext watchedContext_ = 0;
};

// The transfer confirmation with the on-screen keypad: the customer re-enters the last three
// characters of the in-account (value 2) before OK is accepted.
class CTransferDlgNew : public ConfirmationDialog {
 public:
  static constexpr int32_t kEntryDisplayId = kIdTransferEntry;

  static constexpr ConfirmationKind kKind{104, 4, 45};

  CTransferDlgNew() : ConfirmationDialog(kKind) {}

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

}  // namespace quilta::ui
