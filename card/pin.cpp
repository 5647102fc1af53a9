#include "card/pin.h"

#include "base/hex.h"
#include "card/exchange.h"
#include "card/fisc.h"

namespace quilta::card {

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

bool FitsPinBlock(const Text& pin) {
  std::optional<cmd::PinBlock> block = PinBlockOf(pin);
  if (!block) return false;
  WipeBytes(block->data(), block->size());
  return true;
}

Outcome VerifyPin(Channel& channel, const Text& pin) {
  std::optional<cmd::PinBlock> block = PinBlockOf(pin);
  if (!block) return Outcome::Own(status::kBadParameter);
  const Outcome o = Exchange(channel, cmd::Verify(*block));
  WipeBytes(block->data(), block->size());
  return o;
}

Outcome SelectPinFile(Channel& channel) {
  return Exchange(channel, cmd::SelectFile(fisc::kFilePin));
}

Outcome WritePin(Channel& channel, const cmd::PinBlock& block) {
  return Exchange(channel, cmd::WritePin(block));
}

}  // namespace quilta::card
