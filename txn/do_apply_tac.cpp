// DoApplyTAC: the card's TAC over an application (enrolling the card for on-line banking and
// the like), whose block is PCode 4, ID 16, FdChkCode 8, ServerDateTime 14, CTelNo 10
// (52 bytes, Lc "34").
//
// Order: the PIN on every reader type but 2 (6002 for one the card engine cannot take:
// missing, empty, over 16 characters, not hex), ReadBasicData, the inputs FdChkCode, PCode,
// ServerDateTime, ID (one never put fails) and CTelNo (one never put is ten blanks), each
// against its width with its status (CheckInput), the session key, then the reader-type road:
//   type 3                        205 CDoApplyTACDlg152 for ApplyType 1, else 206 (151)
//   type 2, "Todos eCode Connectable II..."   105 CTWOREADERSHOW1
//   type 2, any other reader      208 CDoApplyTACDlg252 for ApplyType 1 or 2, else 207 (251)
//   any other type: an ordinary   204 CDoApplyTACDlg1 for ApplyType 1 or 2, else 203, with
//   reader                        the card taken out and put back; then VerifyPIN, the card
//                                 re-check (5035) and the TAC command
// The ordinary road also serves a type other than 1 (0 from a page that never called
// SetReaderType, or any number the page put): it sends the PIN and the TAC command itself.
// The inquiry, transfer and payment methods refuse such a type with 5042 instead.
// The instruction dialogs send VERIFY and the TAC command themselves; their end code 2 reads
// 5036, every other through the status table (90 00 is success). Widths count the bytes of
// the 8-bit form, which is what the block holds. Every status is mapped (ErrorInfo written).
// On success: IccSeqNo, TAC, EncID (EncryptField of ID), SessionTAC.
#include <array>

#include "card/commands.h"
#include "core/atm_core.h"
#include "txn/blocks.h"
#include "txn/display.h"
#include "txn/steps.h"
#include "ui/dialogs.h"

namespace quilta {
namespace {

const char16_t kLabelId[] = u"身分證號";
const char16_t kLabelTel[] = u"手機號碼";
const char16_t kLabelDate[] = u"交易日期";
// Readers whose own firmware runs the whole TAC dialog: they get the simple instruction.
const char16_t kSimpleDialogReaders[] = u"Todos eCode Connectable II";

Text TitleOf(int32_t applyType) {
  switch (applyType) {
    case 1: return u"晶片卡申請網銀";
    case 2: return u"解除網銀密碼鎖定之線上申請";
    case 3: return u"網銀非約定帳號轉帳功能之申請/註銷";
    case 4: return u"網銀非約定帳號轉帳";
    default: return u"晶片卡轉帳";
  }
}

// What every apply dialog shows: rows ID, (telephone,) date.
struct ApplySummary {
  Text title, id, tel, date;

  void Fill(ui::Summary& s, bool withTel) const {
    if (withTel) {
      s.label = {kLabelId, kLabelTel, kLabelDate, std::nullopt};
      s.value = {id, tel, date, std::nullopt};
    } else {
      s.label = {kLabelId, kLabelDate, std::nullopt, std::nullopt};
      s.value = {id, date, std::nullopt, std::nullopt};
    }
  }
};

int32_t CheckApplyInputs(CAtmCore& core) {
  for (Prop p : {Prop::FdChkCode, Prop::PCode, Prop::ServerDateTime, Prop::ID}) {
    const int32_t st = txn::CheckInput(core, p);
    if (st != status::kOk) return st;
  }
  // A telephone number never put is sent as blanks.
  Text& tel = core.props().TextOf(Prop::CTelNo);
  if (tel.empty()) tel = Text(static_cast<size_t>(Info(Prop::CTelNo).input.width), u' ');
  return txn::CheckInput(core, Prop::CTelNo);
}

// Reader types 2 and 3: the instruction dialog sends VERIFY and the TAC command itself.
int32_t RunOnPinPad(CAtmCore& core, const ApplySummary& summary, const Text& pin,
                    const card::CommandApdu& tac) {
  const int32_t type = core.props().ReaderType();
  const int32_t applyType = core.props().NumberOf(Prop::ApplyType);
  auto runDetailed = [&](const ui::ReaderDialogKind& kind, bool withTel) {
    ui::ReaderDialog d(kind);
    d.title = summary.title;
    summary.Fill(d, withTel);
    return txn::RunInstructionDialog(core, d, txn::PadTac{type, pin, tac, true},
                                     DialogRule::CancelIs5036);
  };

  if (type == 3) {
    if (applyType == 1) return runDetailed(ui::CDoApplyTACDlg152, false);
    return runDetailed(ui::CDoApplyTACDlg151, true);
  }
  if (core.props().ReaderName().starts_with(kSimpleDialogReaders)) {
    ui::ReaderDialog d(ui::CTWOREADERSHOW1);
    d.title = summary.title;
    d.instruction = Text(ui::kPadInstruction);
    return txn::RunInstructionDialog(core, d, txn::PadTac{type, pin, tac, false},
                                     DialogRule::CancelIs5036);
  }
  if (applyType == 1 || applyType == 2) return runDetailed(ui::CDoApplyTACDlg252, false);
  return runDetailed(ui::CDoApplyTACDlg251, true);
}

// An ordinary reader (every type but 2 and 3): the confirmation with the card taken out and
// put back, the PIN, the card re-check and the TAC command.
int32_t RunOnPlainReader(CAtmCore& core, const ApplySummary& summary, const Text& pin,
                         const card::CommandApdu& tac) {
  const int32_t applyType = core.props().NumberOf(Prop::ApplyType);
  const bool withTel = applyType != 1 && applyType != 2;
  ui::ConfirmationDialog dialog(withTel ? ui::CDoApplyTACDlg : ui::CDoApplyTACDlg1);
  dialog.title = summary.title;
  summary.Fill(dialog, withTel);

  int32_t st = txn::ConfirmWithReinsert(core, dialog);
  if (st != status::kOk) return st;
  st = core.VerifyPIN(pin);
  if (st != status::kOk) return st;
  st = txn::RecheckCard(core);
  if (st != status::kOk) return st;
  return core.Send(tac);
}

}  // namespace

int32_t CAtmCore::DoApplyTAC(const std::optional<Text>& pin) {
  int32_t st = txn::CheckPinArgument(*this, pin);
  if (st != status::kOk) return st;
  st = ReadBasicData();
  if (st != status::kOk) return st;
  st = CheckApplyInputs(*this);
  if (st != status::kOk) return st;
  st = txn::UnwrapSessionKey(*this);
  if (st != status::kOk) return st;

  const std::optional<std::vector<uint8_t>> block =
      txn::BuildBlock(txn::BlockKind::kApply, txn::BlockInputsOf(props_));
  if (!block) return Report(status::kBadParameter);  // the checks above make every width fit
  const card::CommandApdu tac = card::cmd::Tac(*block);

  const ApplySummary summary{TitleOf(props_.NumberOf(Prop::ApplyType)), props_.TextOf(Prop::ID),
                             props_.TextOf(Prop::CTelNo),
                             txn::DateText(props_.TextOf(Prop::ServerDateTime), false)};
  const SecretText pinText(pin.value_or(Text()));
  const int32_t type = props_.ReaderType();
  st = type == 2 || type == 3 ? RunOnPinPad(*this, summary, pinText.value(), tac)
                              : RunOnPlainReader(*this, summary, pinText.value(), tac);
  if (st != status::kOk) return st;
  return txn::TakeResults(*this, Prop::EncID, Prop::ID);
}

}  // namespace quilta
