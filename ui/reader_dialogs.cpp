#include "ui/reader_dialogs.h"

#include <cstring>
#include <string>

#include "card/commands.h"
#include "card/pin.h"
#include "base/hex.h"
#include "base/status.h"

namespace quilta::ui {

namespace {

// Mode 2: the reader asks the customer for the PIN itself, so the block is all F.
const SecretText kNoPin;

// The 8-byte block of a PIN the card engine has already checked (at most 16 hex digits).
card::cmd::PinBlock BlockOf(const SecretText& pin) {
  std::string ascii;
  for (char16_t c : pin.value()) ascii.push_back(static_cast<char>(c & 0xFF));
  SecretBytes text(card::PinBlockText(ascii));
  WipeBytes(ascii.data(), ascii.size());
  card::cmd::PinBlock block{};
  HexToBytes(text.view(), block.size(), block.data());
  return block;
}

}  // namespace

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

int32_t ReaderDialog::Send(const card::CommandApdu& apdu, card::ResponseApdu* buffer) {
  card::Channel& channel = Site().channel;
  card::ResponseApdu* target = buffer ? buffer : (receive ? receive : &channel.response);
  const card::Reply reply = channel.ExchangeUnnamed(apdu, target, cardHandle.value_or(channel.handle),
                                                    protocol.value_or(channel.activeProtocol));
  received = target->size();
  if (!reply.transmitted()) return static_cast<int32_t>(reply.rv);
  return reply.sw;
}

int32_t ReaderDialog::SendVerify(const SecretText& pinText, card::ResponseApdu* buffer) {
  card::cmd::PinBlock block = BlockOf(pinText);
  const int32_t r = Send(card::cmd::Verify(block), buffer);
  WipeBytes(block.data(), block.size());
  return r;
}

int32_t CTwoReaderShow::Exchange() {
  // The status word goes back as it is: the callers map it, 69 F0 included.
  if (mode == 3) {
    const int32_t r = SendVerify(pin, &own_);
    if (!change || r != status::kSwOk) return r;
    card::cmd::PinBlock block = BlockOf(newPin);
    const int32_t w = Send(card::cmd::WritePin(block), &own_);
    WipeBytes(block.data(), block.size());
    return w;
  }
  if (!command) return static_cast<int32_t>(platform::scard::kInvalidParameter);
  return Send(*command, &own_);
}

int32_t CTWOREADERSHOW1::Exchange() {
  if (mode == 3) {
    const int32_t r = ReaderTimeout(SendVerify(pin));
    if (r != 0 && r != status::kSwOk) return r;
  }
  if (!command) return static_cast<int32_t>(platform::scard::kInvalidParameter);
  return ReaderTimeout(Send(*command));
}

void CTwoReaderShowN::ShowInputs() {
  ReaderDialog::ShowInputs();
  ShowRows(rows_, [this](int32_t id, const Text& text) { SetText(id, text); });
}

int32_t CTwoReaderShowN::Exchange() {
  // Mode 2: the reader asks the customer for the PIN itself, so the block is all F.
  const int32_t r = ReaderTimeout(SendVerify(mode == 3 ? pin : kNoPin));
  if (r != 0 && r != status::kSwOk) return r;
  if (!command) return static_cast<int32_t>(platform::scard::kInvalidParameter);
  return ReaderTimeout(Send(*command));
}

}  // namespace quilta::ui
