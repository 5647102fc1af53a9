#include "txn/steps.h"

#include <algorithm>

#include "card/pad_exchange.h"
#include "card/pin.h"
#include "ui/confirmation_dialogs.h"
#include "ui/modal.h"
#include "ui/reader_dialogs.h"

namespace quilta::txn {
namespace {

namespace sc = platform::scard;

constexpr char16_t kIssuerOwnAccounts[] = u"95100000";
constexpr int kAccountSlots = 8;
constexpr uint32_t kReconnectPauseMs = 1000;
constexpr char16_t kCardPulledText[] = u"卡已被拔出..請確認再試!";
constexpr char16_t kCardPulledCaption[] = u"訊息";

bool AllDigits(const Text& text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// ConnectCard, and once more after a pause when it fails: true when the card is back.
bool ConnectCardAgain(CAtmCore& core) {
  if (core.ConnectCard() == status::kOk) return true;
  core.channel().SleepMs(kReconnectPauseMs);
  return core.ConnectCard() == status::kOk;
}

// One status query of ReaderName that answers at once; the PC/SC result.
platform::ScardResult QueryReader(CAtmCore& core) {
  platform::ReaderState state;
  state.reader = ReaderNameToPcsc(core.props().ReaderName());
  state.currentState = sc::kStateUnaware;
  return core.channel().QueryReader(&state, 0);
}

}  // namespace

int32_t CheckReaderAndPin(CAtmCore& core, const std::optional<Text>& pin) {
  if (!KnownReaderType(core.props().ReaderType())) return core.Report(status::kBadReaderType);
  return CheckPinArgument(core, pin);
}

int32_t CheckPinArgument(CAtmCore& core, const std::optional<Text>& pin) {
  // Only a type-2 reader takes the PIN on its own pad; every other road sends the page's.
  if (core.props().ReaderType() == 2) return status::kOk;
  static const Text kNoPin;  // a missing PIN is refused as an empty one
  if (!card::FitsPinBlock(pin ? *pin : kNoPin)) return core.Report(status::kBadParameter);
  return status::kOk;
}

int32_t UnwrapSessionKey(CAtmCore& core) { return core.Report(core.UnwrapSessionKey()); }

bool IsCardAccount(const CAtmCore& core, const Text& account) {
  if (core.props().TextOf(Prop::IssuerBankNo) == kIssuerOwnAccounts) return true;
  for (int k = 0; k < kAccountSlots; ++k)
    if (core.props().TextOf(Prop::AccountNo0 + k) == account) return true;
  return false;
}

int32_t CheckInput(CAtmCore& core, Prop p) {
  const InputRule& rule = Info(p).input;
  const PropertyStore& props = core.props();
  // Amount14 holds the Amount as written, zero-filled: the card would sign "12a" or " 12" as
  // they are while the dialogs show 12.
  const Text& text = p == Prop::Amount ? props.Amount14() : props.TextOf(p);
  bool fits = rule.width == kNotEmpty ? !text.empty()
                                      : NarrowLength(text) == static_cast<size_t>(rule.width);
  if (p == Prop::Amount) fits = fits && AllDigits(text);
  return fits ? status::kOk : core.Report(rule.bad);
}

int32_t RecheckCard(CAtmCore& core) {
  const Text before = core.props().TextOf(Prop::CardNo);
  const int32_t st = core.ReadBasicData();
  if (st != status::kOk) return st;
  if (core.props().TextOf(Prop::CardNo) != before) return core.Report(status::kCardChanged);
  return status::kOk;
}

BlockInputs BlockInputsOf(const PropertyStore& props) {
  BlockInputs in;
  for (size_t i = 0; i < kBlockFieldCount; ++i) {
    const auto f = static_cast<BlockField>(i);
    in.Of(f) = ToNarrow(f == BlockField::kAmount14 ? props.Amount14() : props.TextOf(PropOf(f)));
  }
  return in;
}

int32_t ConfirmWithReinsert(CAtmCore& core, ui::ConfirmationDialog& dialog, bool once) {
  int noCardRounds = 0;
  for (;;) {
    core.DisconnectCard();
    const int32_t r = dialog.Run(core.dialogSite());
    const bool decided = r == dialog_end::kCancel || r == dialog_end::kTimedOut ||
                         r == dialog_end::kNotShown;

    core.DisconnectCard();
    const int32_t driver = core.ConnectDriver();
    // Without the resource manager no card can come back and the dialog would only find
    // no card again: end with ConnectDriver's status (its text is in ErrorInfo).
    if (driver != status::kOk && !decided) return driver;
    const bool back = ConnectCardAgain(core);

    if (r == dialog_end::kOk && back) return status::kOk;
    if (r == dialog_end::kCancel) return core.Report(status::kUserCancel);
    if (r == dialog_end::kTimedOut) return core.Report(status::kConfirmTimeout);
    if (r == dialog_end::kNotShown) return core.Report(status::kUserCancel);

    // The dialog would be shown again: only while the reader can be reached at all.
    const platform::ScardResult query = QueryReader(core);
    if (query != sc::kSuccess) return core.Report(Outcome::Pcsc(query));
    if (once) return core.Report(status::kCardNotConnected);
    if (r == dialog_end::kNoCard) {
      core.Report(status::kCardNotConnected);
      ui::ShowMessageBox(core.modalHost(), kCardPulledText, kCardPulledCaption);
      // The dialog found no card and has no button then: a customer without the card would
      // be held in this loop for good. After the last telling the transaction ends.
      if (++noCardRounds == kNoCardRounds) return status::kCardNotConnected;
    } else {
      noCardRounds = 0;
    }
  }
}

int32_t SendPadTac(card::Channel& channel, const PadTac& tac) {
  // 69 F0 from the reader: the customer let its time run out.
  auto readerTimeout = [](int32_t r) { return r == 0x69F0 ? status::kConfirmTimeout : r; };
  if (tac.readerType == 3 || tac.verifyOnType2) {
    static const Text kNoPin;  // all F: the reader puts in the PIN typed on its pad
    const int32_t r = readerTimeout(
        card::PadVerify(channel, tac.readerType == 3 ? tac.pin : kNoPin, &channel.response));
    if (r != 0 && r != status::kSwOk) return r;
  }
  return readerTimeout(card::PadSend(channel, tac.command, &channel.response));
}

int32_t RunInstructionDialog(CAtmCore& core, ui::ReaderDialog& dialog, const PadTac& tac,
                             DialogRule rule) {
  dialog.exchange = [&tac](card::Channel& channel) { return SendPadTac(channel, tac); };
  return core.Report(Outcome::Dialog(dialog.Run(core.dialogSite()), rule));
}

std::optional<TacAnswer> TakeTacAnswer(CAtmCore& core, int32_t* status) {
  const card::ResponseApdu& r = core.channel().response;
  std::optional<TacAnswer> answer = ParseTacAnswer(std::span(r.bytes(), r.dataSize()));
  *status = answer ? status::kOk : core.Report(Outcome::Pcsc(sc::kCommDataLost));
  return answer;
}

int32_t TakeResults(CAtmCore& core, Prop encryptedOut, Prop encryptedFrom) {
  int32_t st = status::kOk;
  const std::optional<TacAnswer> answer = TakeTacAnswer(core, &st);
  if (!answer) return st;
  PropertyStore& p = core.props();
  p.TextOf(Prop::IccSeqNo) = FromNarrow(answer->iccSeqNo);
  p.TextOf(Prop::TAC) = AsciiText(answer->TacHex());
  p.TextOf(encryptedOut) = core.crypto().EncryptField(p.TextOf(encryptedFrom));
  p.TextOf(Prop::SessionTAC) = core.crypto().EncryptField(core.state().plainSessionKey.value());
  return core.Report(status::kOk);
}

}  // namespace quilta::txn
