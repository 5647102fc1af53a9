#include "ui/confirmation_dialogs.h"

#include <cstring>

namespace quilta::ui {

namespace {

// CTransferDlgNew's messages.
constexpr char16_t kLiveMismatch[] = u"您輸入的 轉入帳號 末三碼不正確!!";
constexpr char16_t kNothingEntered[] = u"您的轉入帳號末三碼未輸入!!";
constexpr char16_t kIncomplete[] = u"您輸入的轉入帳號末三碼不正確!!";
constexpr char16_t kMismatchAtOk[] = u"您輸入的轉入帳號末三碼不正確!";
constexpr char16_t kTampered[] =
    u"(1024)-轉入帳號疑遭竄改，為確保交易安全，暫停您於本電腦進行轉帳交易!!";

}  // namespace

// ---------------------------------------------------------------------------------------

void ConfirmationDialog::OnInit() {
  // What the watch reads from the site: the reader name and the PC/SC context.
  const DialogSite& site = Site();
  watchedReader_ = readerName ? *readerName : site.reader;
  watchedContext_ = context ? *context : site.channel.context;
  ShowRows(rows_, [this](int32_t id, const Text& text) { SetText(id, text); });
  presence_.Reset();
  watch_.Start(*this, limit_);
}

void ConfirmationDialog::OnTimer(int32_t) { watch_.Tick(*this); }

int32_t ConfirmationDialog::QueryCardAbsent() {
  return presence_.QueryCardAbsent(Site().channel, watchedContext_, watchedReader_);
}

// ---------------------------------------------------------------------------------------

void CTransferDlgNew::OnInit() {
  ConfirmationDialog::OnInit();
  Enable(kIdTransferEntry, false);
  ResetEntry();
}

void CTransferDlgNew::OnCommand(int32_t id) {
  if (id >= kTransferKeypad.firstKeyId && id < kTransferKeypad.firstKeyId + 10) {
    PressDigit(id - kTransferKeypad.firstKeyId);
  } else if (id == kTransferKeypad.clearId) {
    if (!confirmed_) ResetEntry();
  } else if (id == kIdOk) {
    Accept();
  } else if (id == kIdCancel) {
    EndDialog(result::kCancel);
  }
}

void CTransferDlgNew::ResetEntry() {
  std::memset(entry_, 0, sizeof entry_);
  length_ = 0;
  confirmed_ = false;
  runningTotal_ = 0;
  SetText(kIdTransferEntry, Text());
}

void CTransferDlgNew::PressDigit(int k) {
  // Three digits either confirm or reset the entry; after the tamper message they stay
  // until the clear key, and further digits are ignored.
  if (confirmed_ || length_ >= 3) return;
  const char c = static_cast<char>('0' + k);
  runningTotal_ += c;
  entry_[length_++] = c;
  SetText(kIdTransferEntry, AsciiText(Entry()));
  if (length_ != 3) return;
  int32_t entrySum = 0, accountSum = 0;
  if (!MatchesAccount(&entrySum, &accountSum)) {
    MessageBox(kLiveMismatch);
    ResetEntry();
    return;
  }
  if (runningTotal_ == entrySum && runningTotal_ == accountSum)
    confirmed_ = true;
  else
    MessageBox(kTampered);
}

bool CTransferDlgNew::MatchesAccount(int32_t* entrySum, int32_t* accountSum) const {
  *entrySum = 0;
  *accountSum = 0;
  const Text account = value[1].value_or(Text());
  // An in-account shorter than three characters has no last three to compare with.
  if (account.size() < 3 || length_ < 3) return false;
  const Text tail = account.substr(account.size() - 3);
  for (int i = 0; i < 3; ++i) {
    *entrySum += static_cast<unsigned char>(entry_[i]);
    *accountSum += static_cast<int32_t>(tail[i]);
    if (static_cast<char16_t>(static_cast<unsigned char>(entry_[i])) != tail[i]) return false;
  }
  return true;
}

void CTransferDlgNew::Accept() {
  if (length_ == 0) {
    MessageBox(kNothingEntered);
    return;
  }
  if (length_ != 3) {
    MessageBox(kIncomplete);
    return;
  }
  int32_t entrySum = 0, accountSum = 0;
  if (!MatchesAccount(&entrySum, &accountSum)) {
    MessageBox(kMismatchAtOk);
    EndDialog(result::kEntryRejected);
    return;
  }
  if (runningTotal_ != entrySum || runningTotal_ != accountSum) {
    MessageBox(kTampered);
    EndDialog(result::kEntryRejected);
    return;
  }
  EndDialog(result::kOk);
}

}  // namespace quilta::ui
