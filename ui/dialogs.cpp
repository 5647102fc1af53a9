#include "ui/dialogs.h"

#include <cstring>
#include <string>

#include "core/hex.h"
#include "core/status.h"

namespace quilta::ui {

namespace {

namespace sc = platform::scard;

constexpr uint32_t kOfferedReceive = 272;
constexpr size_t kBufferSize = 1024;
constexpr char kAllF[] = "FFFFFFFFFFFFFFFF";

// CTransferDlgNew's messages.
constexpr char16_t kLiveMismatch[] = u"您輸入的 轉入帳號 末三碼不正確!!";
constexpr char16_t kNothingEntered[] = u"您的轉入帳號末三碼未輸入!!";
constexpr char16_t kIncomplete[] = u"您輸入的轉入帳號末三碼不正確!!";
constexpr char16_t kMismatchAtOk[] = u"您輸入的轉入帳號末三碼不正確!";
constexpr char16_t kTampered[] =
    u"(1024)-轉入帳號疑遭竄改，為確保交易安全，暫停您於本電腦進行轉帳交易!!";

// The PIN block the reader dialogs send: 16 'F', the first characters replaced by the PIN's
// (the low byte of each character; at most 16 are used).
std::string PinBlock(const Text& pin) {
  std::string block(kAllF);
  for (size_t i = 0; i < pin.size() && i < block.size(); ++i)
    block[i] = static_cast<char>(pin[i] & 0xFF);
  return block;
}

Text Number(int32_t n) { return AsciiText(std::to_string(n)); }

// Decodes one byte from a two-character hex field; a short field leaves the byte 0.
uint8_t FieldByte(std::string_view field) {
  uint8_t b = 0;
  HexToBytes(field, 1, &b);
  return b;
}

}  // namespace

// ---------------------------------------------------------------------------------------

void CardPresence::Reset() { state_ = platform::ReaderState{}; }

int32_t CardPresence::QueryCardAbsent(platform::Pcsc& pcsc, platform::ScardContext context,
                                      const std::string& readerName) {
  const uint32_t last = state_.eventState;
  state_.reader = readerName;
  state_.currentState = sc::kStateUnaware;
  if (pcsc.GetStatusChange(context, sc::kInfinite, &state_, 1) != sc::kSuccess)
    state_.eventState = last;  // a failed query tells nothing new
  return (state_.eventState & sc::kStatePresent) ? 0 : 1;
}

void CardWatch::Start(Host& host, int32_t limitSeconds) {
  index_ = 0;
  history_ = {9, 9, 9, 9, 9};
  secondsLeft_ = limitSeconds;
  host.EnableOk(false);
  history_[0] = host.QueryCardAbsent();
  if (history_[0] == 1) host.EndWith(result::kNoCard);
  host.SetTimer1();
}

void CardWatch::Tick(Host& host) {
  const int32_t before = secondsLeft_--;
  if (before == 1) host.EndWith(result::kTimedOut);
  const Text shown = Number(secondsLeft_);
  const int32_t b = host.QueryCardAbsent();
  if (index_ >= 2) {
    // OK is enabled for good: nothing more to record, the countdown just runs.
    host.ShowCountdown(shown);
    return;
  }
  if (b == history_[index_]) {
    host.ShowCountdown(shown);
    return;
  }
  ++index_;
  history_[index_] = b;
  if (index_ == 2) {
    host.EnableOk(true);
    host.FocusOk();
  }
}

// ---------------------------------------------------------------------------------------

void ConfirmationDialog::OnInit() {
  CAtmCore& core = Core();
  watchedReader_ = readerName ? *readerName : ToNarrow(core.T(Prop::ReaderName));
  watchedContext_ = context ? *context : core.cardContext;
  for (int i = 0; i < rows_; ++i) {
    SetText(201 + i, label[i].value_or(Text()));
    SetText(205 + i, value[i].value_or(Text()));
  }
  SetText(209, header1.value_or(Text()));
  SetText(210, header2.value_or(Text()));
  presence_.Reset();
  watch_.Start(*this, limit_);
}

void ConfirmationDialog::OnTimer(int32_t) { watch_.Tick(*this); }

int32_t ConfirmationDialog::QueryCardAbsent() {
  return presence_.QueryCardAbsent(*Core().pcsc, watchedContext_, watchedReader_);
}

// ---------------------------------------------------------------------------------------

void CTransferDlgNew::OnInit() {
  ConfirmationDialog::OnInit();
  Enable(kEntryDisplayId, false);
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
  SetText(kEntryDisplayId, Text());
}

void CTransferDlgNew::PressDigit(int k) {
  // Three digits either confirm or reset the entry; after the tamper message they stay
  // until the clear key, and further digits are ignored.
  if (confirmed_ || length_ >= 3) return;
  const char c = static_cast<char>('0' + k);
  runningTotal_ += c;
  entry_[length_++] = c;
  SetText(kEntryDisplayId, AsciiText(Entry()));
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

// ---------------------------------------------------------------------------------------

int32_t DialogExchange(platform::Pcsc& pcsc, platform::ScardHandle card, uint32_t activeProtocol,
                       const CommandFields& command, uint8_t* receive, uint32_t* received) {
  uint8_t cmd[kBufferSize] = {};
  std::memset(receive, 0, kBufferSize);
  *received = 0;
  cmd[0] = FieldByte(command.cla);
  cmd[1] = FieldByte(command.ins);
  cmd[2] = FieldByte(command.p1);
  cmd[3] = FieldByte(command.p2);
  uint32_t length = 4;
  if (command.lc) {
    const uint8_t lc = FieldByte(*command.lc);
    cmd[4] = lc;
    // Data shorter than Lc bytes leaves the rest zero; nothing beyond the text is read.
    HexToBytes(command.data, lc, &cmd[5]);
    length = 5u + lc;
  }
  if (command.le) cmd[length++] = FieldByte(*command.le);

  uint32_t n = kOfferedReceive;
  platform::ScardResult r = pcsc.Transmit(card, 0, cmd, length, receive, &n);
  if (r == sc::kProtoMismatch && activeProtocol != 0) {
    // pcsc-lite accepts no send PCI without a protocol: send with the card's own.
    n = kOfferedReceive;
    r = pcsc.Transmit(card, activeProtocol, cmd, length, receive, &n);
  }
  if (r != sc::kSuccess) return static_cast<int32_t>(r);
  if (n > kOfferedReceive) n = kOfferedReceive;
  if (n < 2) {
    // No status word at all: a failed exchange, never a result.
    std::memset(receive, 0, kBufferSize);
    return static_cast<int32_t>(sc::kCommDataLost);
  }
  *received = n;
  return receive[n - 2] * 256 + receive[n - 1];
}

void ReaderDialog::OnInit() {
  ticks_ = 0;
  ShowInputs();
  SetTimer(1, 1000);
  SetTimer(2, 1000);
}

void ReaderDialog::ShowInputs() {
  if (instructionId_ != -1) SetText(instructionId_, instruction.value_or(Text()));
}

void ReaderDialog::OnTimer(int32_t) {
  // Both timers land here; the third message, about two seconds after opening, runs the
  // exchange once. The window stays frozen while the reader waits for the customer.
  if (ticks_ == 2) EndDialog(Exchange());
  ++ticks_;
}

int32_t ReaderDialog::Send(const CommandFields& fields, uint8_t* buffer) {
  CAtmCore& core = Core();
  uint8_t* target = buffer ? buffer : (receive ? receive : core.exchange.receive);
  if (target == core.exchange.receive) std::memset(core.exchange.receive, 0, sizeof core.exchange.receive);
  const int32_t r = DialogExchange(*core.pcsc, cardHandle.value_or(core.cardHandle),
                                   protocol.value_or(core.activeProtocol), fields, target,
                                   &received);
  if (target == core.exchange.receive) core.exchange.receiveLength = received;
  return r;
}

int32_t ReaderDialog::SendVerify(const std::string& blockText, uint8_t* buffer) {
  return Send(CommandFields{"00", "20", "00", "10", "08", blockText, std::nullopt}, buffer);
}

int32_t CTwoReaderShow::Exchange() {
  // The status word goes back as it is: the callers map it, 69 F0 included.
  if (mode == 3) {
    const int32_t r = SendVerify(PinBlock(pin), own_);
    if (!change || r != 0x9000) return r;
    return Send(CommandFields{"00", "D2", "01", "04", "08", PinBlock(newPin), std::nullopt}, own_);
  }
  return Send(command, own_);
}

int32_t CTWOREADERSHOW1::Exchange() {
  if (mode == 3) {
    const int32_t r = ReaderTimeout(SendVerify(PinBlock(pin)));
    if (r != 0 && r != 0x9000) return r;
  }
  return ReaderTimeout(Send(command));
}

void CTwoReaderShowN::ShowInputs() {
  ReaderDialog::ShowInputs();
  for (int i = 0; i < rows_; ++i) {
    SetText(201 + i, label[i].value_or(Text()));
    SetText(205 + i, value[i].value_or(Text()));
  }
  SetText(209, header1.value_or(Text()));
  SetText(210, header2.value_or(Text()));
}

int32_t CTwoReaderShowN::Exchange() {
  // Mode 2: the reader asks the customer for the PIN itself, so the block is all F.
  const int32_t r = ReaderTimeout(SendVerify(mode == 3 ? PinBlock(pin) : std::string(kAllF)));
  if (r != 0 && r != 0x9000) return r;
  return ReaderTimeout(Send(command));
}

// ---------------------------------------------------------------------------------------

void CInputDlg::OnInit() {
  std::memset(entry_, 0, sizeof entry_);
  length_ = 0;
  runningTotal_ = 0;
  SetText(kEntryId, Text());
}

void CInputDlg::OnCommand(int32_t id) {
  if (id >= kInputKeypad.firstKeyId && id < kInputKeypad.firstKeyId + 10) {
    if (length_ >= kMaxDigits) return;
    const char c = static_cast<char>('0' + (id - kInputKeypad.firstKeyId));
    runningTotal_ += c;
    entry_[length_++] = c;
    SetText(kEntryId, AsciiText(Entry()));
  } else if (id == kInputKeypad.clearId) {
    std::memset(entry_, 0, sizeof entry_);
    length_ = 0;
    runningTotal_ = 0;
    SetText(kEntryId, Text());
  } else if (id == kIdOk) {
    int32_t sum = 0;
    for (int32_t i = 0; i < length_; ++i) sum += static_cast<unsigned char>(entry_[i]);
    EndDialog(sum == runningTotal_ ? result::kOk : result::kEntryRejected);
  } else if (id == kIdCancel) {
    EndDialog(result::kCancel);
  }
}

// ---------------------------------------------------------------------------------------

namespace {

class PinPadDialog final : public ReaderPinDialog {
 public:
  int32_t Run(CAtmCore& core, const ReaderPinRequest& request) override {
    CTwoReaderShow dlg;
    dlg.title = request.caption;
    dlg.instruction = request.instruction;
    dlg.mode = request.readerType;
    dlg.command = request.command;
    dlg.pin = request.pin;
    dlg.newPin = request.newPin;
    dlg.change = request.change;
    return dlg.Run(core);
  }
};

}  // namespace

void InstallDialogs(CAtmCore& core) {
  static PinPadDialog pinPad;
  core.readerPinDialog = &pinPad;
}

}  // namespace quilta::ui
