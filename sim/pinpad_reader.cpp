#include "sim/pinpad_reader.h"

#include <algorithm>

#include "sim/fisc_card.h"

namespace quilta::sim {
namespace {

std::vector<uint8_t> Sw(uint16_t sw) {
  return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw & 0xFF)};
}

uint16_t SwOf(const std::vector<uint8_t>& r) {
  return r.size() < 2 ? 0x6F00 : static_cast<uint16_t>(r[r.size() - 2] << 8 | r.back());
}

bool IsVerifyWithBlock(const uint8_t* a, size_t n, uint8_t fill) {
  if (n != 13 || a[0] != 0x00 || a[1] != 0x20 || a[2] != 0x00 || a[3] != 0x10 || a[4] != 0x08) return false;
  return std::all_of(a + 5, a + 13, [fill](uint8_t b) { return b == fill; });
}

bool IsPadVerify(const uint8_t* a, size_t n) {
  return (n == 4 || n == 5) && a[0] == 0x80 && a[1] == 0x20 && a[2] == 0x00 && a[3] == 0x10;
}

std::vector<uint8_t> VerifyCommand(const std::string& pin) {
  std::vector<uint8_t> c = {0x00, 0x20, 0x00, 0x10, 0x08};
  auto block = PinBlockOf(pin);
  c.insert(c.end(), block.begin(), block.end());
  return c;
}

}  // namespace

const char* PinPadActionName(PinPadAction action) {
  switch (action) {
    case PinPadAction::kPassThrough: return "pass";
    case PinPadAction::kEnterPin: return "enter";
    case PinPadAction::kTimeout: return "timeout";
    case PinPadAction::kCancel: return "cancel";
  }
  return "pass";
}

bool ParsePinPadAction(const std::string& name, PinPadAction* action) {
  for (auto a : {PinPadAction::kPassThrough, PinPadAction::kEnterPin, PinPadAction::kTimeout,
                 PinPadAction::kCancel}) {
    if (name == PinPadActionName(a)) {
      *action = a;
      return true;
    }
  }
  return false;
}

PinPadReader::PinPadReader(std::shared_ptr<platform::CardModel> card, PinPadSettings settings)
    : card_(std::move(card)), settings_(std::move(settings)) {}

void PinPadReader::SetSettings(const PinPadSettings& settings) {
  std::lock_guard lock(mutex_);
  settings_ = settings;
}

PinPadSettings PinPadReader::Settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

int PinPadReader::Prompts() const {
  std::lock_guard lock(mutex_);
  return prompts_;
}

void PinPadReader::SetCard(std::shared_ptr<platform::CardModel> card) {
  std::lock_guard lock(mutex_);
  card_ = std::move(card);
}

std::shared_ptr<platform::CardModel> PinPadReader::Card() const {
  std::lock_guard lock(mutex_);
  return card_;
}

std::vector<uint8_t> PinPadReader::Atr() const {
  std::lock_guard lock(mutex_);
  return card_ ? card_->Atr() : std::vector<uint8_t>{};
}

void PinPadReader::PowerOn() {
  std::lock_guard lock(mutex_);
  if (card_) card_->PowerOn();
}

void PinPadReader::PowerOff() {
  std::lock_guard lock(mutex_);
  if (card_) card_->PowerOff();
}

void PinPadReader::Reset() {
  std::lock_guard lock(mutex_);
  if (card_) card_->Reset();
}

std::vector<uint8_t> PinPadReader::Transmit(const uint8_t* apdu, size_t length) {
  std::lock_guard lock(mutex_);
  if (!card_) return Sw(0x6F00);
  auto toCard = [this](const std::vector<uint8_t>& c) { return card_->Transmit(c.data(), c.size()); };
  if (settings_.action == PinPadAction::kPassThrough || apdu == nullptr || length < 4) {
    return card_->Transmit(apdu, length);
  }
  const bool pinEntry = IsPadVerify(apdu, length) || IsVerifyWithBlock(apdu, length, 0xFF);
  const bool pinChange = IsVerifyWithBlock(apdu, length, 0xF0);
  const bool tac = apdu[0] == 0x00 && apdu[1] == 0xE2;
  if (!pinEntry && !pinChange && !tac) return card_->Transmit(apdu, length);

  ++prompts_;
  if (settings_.action == PinPadAction::kTimeout) return Sw(kSwPinPadTimeout);
  if (settings_.action == PinPadAction::kCancel) return Sw(kSwPinPadCancel);

  if (pinEntry) return toCard(VerifyCommand(settings_.pin));
  if (pinChange) {
    auto verified = toCard(VerifyCommand(settings_.pin));
    if (SwOf(verified) != 0x9000) return verified;
    std::vector<uint8_t> write = {0x00, 0xD2, 0x01, 0x04, 0x08};
    auto block = PinBlockOf(settings_.newPin);
    write.insert(write.end(), block.begin(), block.end());
    return toCard(write);
  }
  // The TAC command: the customer confirmed on the pad; the reader asks for the PIN only when
  // the card wants it.
  auto answer = card_->Transmit(apdu, length);
  if (SwOf(answer) != 0x6610) return answer;
  auto verified = toCard(VerifyCommand(settings_.pin));
  if (SwOf(verified) != 0x9000) return verified;
  return card_->Transmit(apdu, length);
}

}  // namespace quilta::sim
