#include "card/pad_exchange.h"

#include <string>

#include "base/hex.h"
#include "base/secret.h"
#include "card/commands.h"
#include "card/pin.h"

namespace quilta::card {
namespace {

// The 8-byte block of a PIN (at most 16 characters are used).
cmd::PinBlock BlockOf(const Text& pin) {
  std::string ascii;
  for (char16_t c : pin) ascii.push_back(static_cast<char>(c & 0xFF));
  SecretBytes text(PinBlockText(ascii));
  WipeBytes(ascii.data(), ascii.size());
  cmd::PinBlock block{};
  HexToBytes(text.view(), block.size(), block.data());
  return block;
}

// Sends the command `build` makes of `pin`'s block, then wipes the block.
template <typename Build>
int32_t SendBlock(Channel& channel, const Text& pin, ResponseApdu* into, Build build) {
  cmd::PinBlock block = BlockOf(pin);
  const int32_t r = PadSend(channel, build(block), into);
  WipeBytes(block.data(), block.size());
  return r;
}

}  // namespace

int32_t PadSend(Channel& channel, const CommandApdu& apdu, ResponseApdu* into) {
  const Reply reply = channel.ExchangeUnnamed(apdu, into, channel.handle, channel.activeProtocol);
  if (!reply.transmitted()) return static_cast<int32_t>(reply.rv);
  return reply.sw;
}

int32_t PadVerify(Channel& channel, const Text& pin, ResponseApdu* into) {
  return SendBlock(channel, pin, into, [](const cmd::PinBlock& b) { return cmd::Verify(b); });
}

int32_t PadWritePin(Channel& channel, const Text& pin, ResponseApdu* into) {
  return SendBlock(channel, pin, into, [](const cmd::PinBlock& b) { return cmd::WritePin(b); });
}

}  // namespace quilta::card
