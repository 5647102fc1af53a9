// PIN verification and change: the PIN block sent by the card engine on ordinary readers,
// the reader-instruction dialog on second-generation readers (types 2 and 3).
#include "card/pin_block.h"
#include "core/atm_core.h"
#include "platform/os.h"

namespace quilta {
namespace {

constexpr int32_t kDialogCancelled = 2;
constexpr int32_t kDialogNotShown = -1;

const char16_t kCaptionVerify[] = u"密碼認證";
const char16_t kCaptionChange[] = u"密碼變更";
const char16_t kInstructionKeys[] = u"並依照字幕顯示需要按讀卡機上數字鍵輸入密碼並按";
const char16_t kInstructionShort[] = u"並依照字幕顯示需要按讀卡機上";
// The one reader whose PIN pad wants the full VERIFY form with an all-FF block.
const char16_t kFullFormReader[] = u"Todos eCode Connectable 0";

bool IsReaderPinPad(int32_t type) { return type == 2 || type == 3; }

}  // namespace

std::optional<std::string> PinBlockText(const Text& pin) {
  if (NarrowLength(pin) > kMaxPinLength || pin.size() > kMaxPinLength) return std::nullopt;
  std::string block(16, 'F');
  for (size_t i = 0; i < pin.size(); ++i) {
    char16_t c = pin[i];
    if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) return std::nullopt;
    block[i] = static_cast<char>(c);
  }
  return block;
}

// Shows the reader-instruction dialog and turns its end code into a status.
static int32_t RunReaderDialog(CAtmCore& core, const ReaderPinRequest& request) {
  int32_t end = core.readerPinDialog ? core.readerPinDialog->Run(core, request) : kDialogNotShown;
  int32_t st = end == kDialogCancelled ? core.Map(status::kUserCancel) : core.Map(end);
  if (st == status::kOk) core.pinVerified = true;
  return st;
}

int32_t CAtmCore::VerifyPIN(const Text& pin) {
  if (NarrowLength(pin) > kMaxPinLength) return Map(status::kBadParameter);

  if (platform::OsMajorVersion() < 5) {
    DisconnectCard();
    DisconnectDriver();
    ConnectDriver();
    ConnectCard();
  }

  const int32_t type = N(Prop::ReaderType);
  if (IsReaderPinPad(type)) {
    ReaderPinRequest request;
    request.caption = kCaptionVerify;
    request.readerType = type;
    if (type == 2) {
      request.instruction = kInstructionKeys;
      if (T(Prop::ReaderName) == kFullFormReader)
        request.command = CommandFields{"00", "20", "00", "10", "08", "FFFFFFFFFFFFFFFF", std::nullopt};
      else
        request.command = CommandFields{"80", "20", "00", "10", std::nullopt, {}, std::nullopt};
    } else {
      // The dialog turns this PIN into a block itself: refuse one it could not encode.
      if (!PinBlockText(pin)) return Map(status::kBadParameter);
      request.instruction = kInstructionShort;
      request.pin = pin;
    }
    return RunReaderDialog(*this, request);
  }

  std::optional<std::string> block = PinBlockText(pin);
  if (!block) return Map(status::kBadParameter);
  int32_t st = Map(CardExchange("00", "20", "00", "10", "08", *block));
  if (st == status::kOk) pinVerified = true;
  return st;
}

int32_t CAtmCore::ChangePIN(const Text& oldPin, const Text& newPin) {
  if (NarrowLength(oldPin) > kMaxPinLength) return Map(status::kBadParameter);
  if (NarrowLength(newPin) > kMaxPinLength) return Map(status::kBadParameter);

  const int32_t type = N(Prop::ReaderType);
  std::optional<std::string> newBlock;
  if (type != 2) {
    // Both blocks are checked before the card sees anything (type 2 never uses them: the
    // customer types both PINs on the reader).
    newBlock = PinBlockText(newPin);
    if (!PinBlockText(oldPin) || !newBlock) return Map(status::kBadParameter);
  }

  int32_t st = Map(CardExchange("00", "A4", "02", "00", "02", "00C2"));
  if (st != status::kOk) return st;

  if (IsReaderPinPad(type)) {
    ReaderPinRequest request;
    request.caption = kCaptionChange;
    request.instruction = kInstructionKeys;
    request.readerType = type;
    if (type == 2) {
      request.command = CommandFields{"00", "20", "00", "10", "08", "F0F0F0F0F0F0F0F0", std::nullopt};
    } else {
      request.pin = oldPin;
      request.newPin = newPin;
      request.change = true;
    }
    return RunReaderDialog(*this, request);
  }

  st = VerifyPIN(oldPin);
  if (st != status::kOk) return st;
  st = Map(CardExchange("00", "D2", "01", "04", "08", *newBlock));
  if (st == status::kOk) pinVerified = true;
  return st;
}

}  // namespace quilta
