#include "card/pin.h"

#include "card/exchange.h"
#include "card/fisc.h"
#include "card/reader_session.h"
#include "base/hex.h"
#include "platform/os.h"

namespace quilta::card {
namespace {

const char16_t kCaptionVerify[] = u"密碼認證";
const char16_t kCaptionChange[] = u"密碼變更";
const char16_t kInstructionKeys[] = u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按";
const char16_t kInstructionShort[] = u"並依照字幕顯示需要按讀卡機上";
// The one reader whose PIN pad wants the full VERIFY form with an all-FF block.
const char16_t kFullFormReader[] = u"Todos eCode Connectable 0";

bool IsReaderPinPad(int32_t type) { return type == 2 || type == 3; }

// Shows the reader-instruction dialog and turns its end code into a status.
int32_t RunReaderDialog(CoreParts& core, const ReaderPinRequest& request) {
  const int32_t end = core.readerPinDialog ? core.readerPinDialog->Run(core, request)
                                           : dialog_end::kNotShown;
  const int32_t st = core.Report(Outcome::Dialog(end, DialogRule::CancelIs5036));
  if (st == status::kOk) core.shared.pinVerified = true;
  return st;
}

}  // namespace

std::string PinBlockText(std::string_view pin) {
  std::string block(2 * fisc::kPinBlockSize, 'F');
  for (size_t i = 0; i < pin.size() && i < block.size(); ++i) block[i] = pin[i];
  return block;
}

std::optional<cmd::PinBlock> PinBlockOf(const Text& pin) {
  if (pin.empty() || NarrowLength(pin) > kMaxPinLength || pin.size() > kMaxPinLength)
    return std::nullopt;
  std::string ascii;
  for (char16_t c : pin) {
    if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  SecretBytes text(PinBlockText(ascii));
  WipeBytes(ascii.data(), ascii.size());
  cmd::PinBlock block{};
  HexToBytes(text.view(), block.size(), block.data());
  return block;
}

int32_t VerifyPIN(CoreParts& core, const Text& pin) {
  if (NarrowLength(pin) > kMaxPinLength) return core.Report(status::kBadParameter);

  if (platform::OsMajorVersion() < 5) {
    DisconnectCard(core);
    DisconnectDriver(core);
    ConnectDriver(core);
    ConnectCard(core);
  }

  const int32_t type = core.props.ReaderType();
  if (IsReaderPinPad(type)) {
    ReaderPinRequest request;
    request.caption = kCaptionVerify;
    request.readerType = type;
    if (type == 2) {
      request.instruction = kInstructionKeys;
      request.command = core.props.ReaderName() == kFullFormReader ? cmd::VerifyOnReaderFullForm()
                                                                   : cmd::VerifyOnReader();
    } else {
      // The dialog turns this PIN into a block itself: refuse one it could not encode.
      if (!PinBlockOf(pin)) return core.Report(status::kBadParameter);
      request.instruction = kInstructionShort;
      request.pin.Assign(pin);
    }
    return RunReaderDialog(core, request);
  }

  std::optional<cmd::PinBlock> block = PinBlockOf(pin);
  if (!block) return core.Report(status::kBadParameter);
  const int32_t st = Send(core, cmd::Verify(*block));
  WipeBytes(block->data(), block->size());
  if (st == status::kOk) core.shared.pinVerified = true;
  return st;
}

int32_t ChangePIN(CoreParts& core, const Text& oldPin, const Text& newPin) {
  if (NarrowLength(oldPin) > kMaxPinLength) return core.Report(status::kBadParameter);
  if (NarrowLength(newPin) > kMaxPinLength) return core.Report(status::kBadParameter);

  const int32_t type = core.props.ReaderType();
  std::optional<cmd::PinBlock> newBlock;
  if (type != 2) {
    // Both blocks are checked before the card sees anything (type 2 never uses them: the
    // customer types both PINs on the reader).
    newBlock = PinBlockOf(newPin);
    if (!PinBlockOf(oldPin) || !newBlock) return core.Report(status::kBadParameter);
  }

  int32_t st = Send(core, cmd::SelectFile(fisc::kFilePin));
  if (st != status::kOk) return st;

  if (IsReaderPinPad(type)) {
    ReaderPinRequest request;
    request.caption = kCaptionChange;
    request.instruction = kInstructionKeys;
    request.readerType = type;
    if (type == 2) {
      request.command = cmd::ChangeOnReader();
    } else {
      request.pin.Assign(oldPin);
      request.newPin.Assign(newPin);
      request.change = true;
    }
    return RunReaderDialog(core, request);
  }

  st = VerifyPIN(core, oldPin);
  if (st == status::kOk) st = Send(core, cmd::WritePin(*newBlock));
  WipeBytes(newBlock->data(), newBlock->size());
  if (st == status::kOk) core.shared.pinVerified = true;
  return st;
}

}  // namespace quilta::card
