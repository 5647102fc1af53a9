// VerifyPIN and ChangePIN. An ordinary reader gets the PIN block from the page's PIN
// (card/pin.h); readers of types 2 and 3 take the PIN in their instruction dialog
// (core/reader_pin.h), which sends the commands itself.
#include "card/pin.h"
#include "core/atm_core.h"
#include "platform/os.h"
#include "ui/dialog_template.h"

namespace quilta {
namespace {

const char16_t kCaptionVerify[] = u"密碼認證";
const char16_t kCaptionChange[] = u"密碼變更";
// The one reader whose PIN pad wants the full VERIFY form with an all-FF block.
const char16_t kFullFormReader[] = u"Todos eCode Connectable 0";

bool IsReaderPinPad(int32_t type) { return type == 2 || type == 3; }

// Shows the reader-instruction dialog and turns its end code into a status.
int32_t RunOnReaderPad(CAtmCore& core, const ReaderPinRequest& request) {
  ReaderPinDialog* dialog = core.readerPinDialog();
  const int32_t end = dialog ? dialog->Run(core, request) : dialog_end::kNotShown;
  const int32_t st = core.Report(Outcome::Dialog(end, DialogRule::CancelIs5036));
  if (st == status::kOk) core.state().pinVerified = true;
  return st;
}

// Wipes a PIN block when the method returns.
struct BlockWipe {
  std::optional<card::cmd::PinBlock>& block;
  ~BlockWipe() {
    if (block) WipeBytes(block->data(), block->size());
  }
};

}  // namespace

int32_t CAtmCore::VerifyPIN(const Text& pin) {
  if (NarrowLength(pin) > card::kMaxPinLength) return Report(status::kBadParameter);

  if (platform::OsMajorVersion() < 5) {
    DisconnectCard();
    DisconnectDriver();
    ConnectDriver();
    ConnectCard();
  }

  const int32_t type = props_.ReaderType();
  if (IsReaderPinPad(type)) {
    ReaderPinRequest request;
    request.caption = kCaptionVerify;
    request.readerType = type;
    if (type == 2) {
      request.instruction = Text(ui::kPadInstruction);
      request.command = props_.ReaderName() == kFullFormReader ? card::cmd::VerifyOnReaderFullForm()
                                                               : card::cmd::VerifyOnReader();
    } else {
      // The dialog turns this PIN into a block itself: refuse one it could not encode.
      if (!card::FitsPinBlock(pin)) return Report(status::kBadParameter);
      request.instruction = Text(ui::kPadInstructionShort);
      request.pin.Assign(pin);
    }
    return RunOnReaderPad(*this, request);
  }

  const int32_t st = Report(card::VerifyPin(channel_, pin));
  if (st == status::kOk) state_.pinVerified = true;
  return st;
}

int32_t CAtmCore::ChangePIN(const Text& oldPin, const Text& newPin) {
  if (NarrowLength(oldPin) > card::kMaxPinLength) return Report(status::kBadParameter);
  if (NarrowLength(newPin) > card::kMaxPinLength) return Report(status::kBadParameter);

  const int32_t type = props_.ReaderType();
  std::optional<card::cmd::PinBlock> newBlock;
  BlockWipe wipe{newBlock};
  if (type != 2) {
    // Both blocks are checked before the card sees anything (type 2 never uses them: the
    // customer types both PINs on the reader).
    newBlock = card::PinBlockOf(newPin);
    if (!card::FitsPinBlock(oldPin) || !newBlock) return Report(status::kBadParameter);
  }

  int32_t st = Report(card::SelectPinFile(channel_));
  if (st != status::kOk) return st;

  if (IsReaderPinPad(type)) {
    ReaderPinRequest request;
    request.caption = kCaptionChange;
    request.instruction = Text(ui::kPadInstruction);
    request.readerType = type;
    if (type == 2) {
      request.command = card::cmd::ChangeOnReader();
    } else {
      request.pin.Assign(oldPin);
      request.newPin.Assign(newPin);
      request.change = true;
    }
    return RunOnReaderPad(*this, request);
  }

  st = VerifyPIN(oldPin);
  if (st == status::kOk) st = Report(card::WritePin(channel_, *newBlock));
  if (st == status::kOk) state_.pinVerified = true;
  return st;
}

}  // namespace quilta
