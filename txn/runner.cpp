#include "txn/runner.h"

#include <algorithm>

#include "card/commands.h"
#include "txn/display.h"
#include "txn/steps.h"
#include "ui/confirmation_dialogs.h"
#include "ui/reader_dialogs.h"

namespace quilta::txn {
namespace {

// What the reader's instruction line says: type 2 has the customer type the PIN on the pad
// (the detailed dialog's template finishes the sentence itself), type 3 only confirm.
constexpr char16_t kPadConfirm[] = u"並  依  照  字  幕  顯  示  需  要  按  讀  卡  機  上";

// One step of the checks: 0, or its status (reported).
int32_t RunCheck(CAtmCore& core, const Check& c) {
  const PropertyStore& p = core.props();
  switch (c.kind) {
    case Check::Kind::kInput:
      return CheckInput(core, c.prop);
    case Check::Kind::kCardAccountWhenKind2:
      if (p.TextOf(Prop::Kind) != u"2") return status::kOk;
      [[fallthrough]];
    case Check::Kind::kCardAccount:
      return IsCardAccount(core, p.TextOf(Prop::AccountNo)) ? status::kOk
                                                            : core.Report(status::kNoSuchAccount);
    case Check::Kind::kReadCard:
      return core.ReadBasicData();
    case Check::Kind::kUnwrap:
      return UnwrapSessionKey(core);
  }
  return status::kOk;
}

bool Places(const TxnDescription& d, Check::Kind kind) {
  return std::any_of(d.checks.begin(), d.checks.end(),
                     [kind](const Check& c) { return c.kind == kind; });
}

// Steps 2 to 4: the card data, the checks, the session key, in the description's order.
int32_t Prepare(CAtmCore& core, const TxnDescription& d) {
  int32_t st = status::kOk;
  if (!Places(d, Check::Kind::kReadCard) && (st = core.ReadBasicData()) != status::kOk) return st;
  for (const Check& c : d.checks)
    if ((st = RunCheck(core, c)) != status::kOk) return st;
  if (!Places(d, Check::Kind::kUnwrap)) return UnwrapSessionKey(core);
  return status::kOk;
}

template <typename Dialog>
void Fill(const CAtmCore& core, Dialog& dlg, const Rows& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    dlg.label[i] = Text(rows[i].label);
    dlg.value[i] = ShownText(core, rows[i].value);
  }
  dlg.header1 = Text();
  dlg.header2 = Text();
}

// Reader type 1: the confirmation (if any), the PIN, the re-check, the TAC command.
int32_t PlainReader(CAtmCore& core, const TxnDescription& d, const Text& pin,
                    const card::CommandApdu& tac) {
  if (d.confirmation != Confirmation::kNone) {
    auto confirm = [&](ui::ConfirmationDialog& dlg) {
      dlg.title = Text(d.title);
      Fill(core, dlg, d.confirmRows);
      return ConfirmWithReinsert(core, dlg, d.confirmOnce);
    };
    int32_t st = status::kOk;
    if (d.confirmation == Confirmation::kTransferWithKeypad) {
      ui::CTransferDlgNew dlg;
      st = confirm(dlg);
    } else {
      ui::ConfirmationDialog dlg(d.confirmation == Confirmation::kSummaryAccessible
                                     ? ui::CTransferDlg_Accessible
                                     : ui::CTransferDlg);
      st = confirm(dlg);
    }
    if (st != status::kOk) return st;
  }
  int32_t st = core.VerifyPIN(pin);
  if (st != status::kOk) return st;
  if (d.confirmation != Confirmation::kNone && (st = RecheckCard(core)) != status::kOk) return st;
  return core.Send(tac);
}

// Reader types 2 and 3: the instruction dialog sends the PIN (type 3) and the TAC command.
int32_t PadReader(CAtmCore& core, const TxnDescription& d, int32_t type, const Text& pin,
                  const card::CommandApdu& tac) {
  auto common = [&](ui::ReaderDialog& dlg, std::u16string_view title, std::u16string_view type2Text) {
    dlg.title = Text(title.empty() ? d.title : title);
    dlg.instruction = type == 2 ? Text(type2Text) : Text(kPadConfirm);
  };
  const std::string pCode = ToNarrow(core.props().TextOf(Prop::PCode));
  const bool simple = d.alwaysSimple || std::find(d.simplePCodes.begin(), d.simplePCodes.end(),
                                                  pCode) != d.simplePCodes.end();
  if (simple) {
    const std::u16string_view title = type == 2 ? d.simpleTitle2 : d.simpleTitle3;
    ui::ReaderDialog dlg(type == 2 && d.accessibleOnType2 ? ui::CTWOREADERSHOW1_Accessible
                                                          : ui::CTWOREADERSHOW1);
    common(dlg, title, ui::kPadInstruction);
    return RunInstructionDialog(core, dlg, PadTac{type, pin, tac, false},
                                DialogRule::CancelIs5036);
  }
  ui::ReaderDialog dlg(ui::CTwoReaderShowN);
  common(dlg, d.title, ui::kPadInstructionCut);
  Fill(core, dlg, d.detailRows);
  return RunInstructionDialog(core, dlg, PadTac{type, pin, tac, true}, DialogRule::Table);
}

}  // namespace

Text ShownText(const CAtmCore& core, Shown what) {
  const PropertyStore& p = core.props();
  switch (what) {
    case Shown::kOutAccount: return AccountText(p.TextOf(Prop::IssuerBankNo), p.TextOf(Prop::AccountNo));
    case Shown::kInAccount: return AccountText(p.TextOf(Prop::InBankNo), p.TextOf(Prop::InAccountNo));
    case Shown::kDate: return DateText(p.TextOf(Prop::ServerDateTime), false);
    case Shown::kNationalDate: return DateText(p.TextOf(Prop::ServerDateTime), true);
    case Shown::kAmount: return AmountText(p.AmountValue());
    case Shown::kInAccountNo: return p.TextOf(Prop::InAccountNo);
    case Shown::kFeeName: return p.TextOf(Prop::FeeName);
    case Shown::kFeeType: return p.TextOf(Prop::FeeType);
    case Shown::kMerchantId: return p.TextOf(Prop::MerchantId);
  }
  return Text();
}

int32_t RunTransaction(CAtmCore& core, const TxnDescription& d, const std::optional<Text>& pin) {
  int32_t st = CheckReaderAndPin(core, pin);
  if (st != status::kOk) return st;
  const int32_t type = core.props().ReaderType();
  SecretText pinText;
  if (pin) pinText.Assign(*pin);

  if ((st = Prepare(core, d)) != status::kOk) return st;

  // Every field was checked at its width; a block that still does not build is a
  // description that misses a check.
  const std::optional<std::vector<uint8_t>> block =
      BuildBlock(d.block, BlockInputsOf(core.props()));
  if (!block) return core.Report(status::kBadParameter);
  const card::CommandApdu tac = card::cmd::Tac(*block);

  st = type == 1 ? PlainReader(core, d, pinText.value(), tac)
                 : PadReader(core, d, type, pinText.value(), tac);
  if (st != status::kOk) return st;

  if ((st = TakeResults(core, Prop::EncOutAccountNo, Prop::AccountNo)) != status::kOk) return st;
  if (type == 2 && d.readerPinDoneOnType2) core.state().readerPinDone = true;
  return status::kOk;
}

}  // namespace quilta::txn
