// A second-generation reader with its own PIN pad, in front of a card (a CardModel
// decorator). The customer's behaviour at the pad is configured at run time.
//
// What the pad does with each command (anything else goes to the card unchanged):
//   80 20 00 10 [Le]                    the pad asks for the PIN
//   00 20 00 10 08 FF FF FF FF FF FF FF FF   the pad asks for the PIN
//       kEnterPin: VERIFY 00 20 00 10 08 <block of `pin`> goes to the card, whose answer is
//       returned. kTimeout: 69 F0, nothing sent. kCancel: 64 01, nothing sent.
//   00 20 00 10 08 F0 F0 F0 F0 F0 F0 F0 F0   the pad asks for the old and the new PIN
//       kEnterPin: VERIFY with `pin`; when the card answers 90 00, WRITE RECORD
//       00 D2 01 04 08 <block of `newPin`> (to the current file, which the caller selected:
//       00 C2) and its answer is returned; otherwise the VERIFY answer. Timeout/cancel as
//       above.
//   00 E2 ... (TAC command)              the pad shows the transaction and asks the customer
//       to confirm. kTimeout / kCancel: 69 F0 / 64 01, nothing sent. kEnterPin: the command
//       goes to the card; when the card answers 66 10 (PIN not verified) the customer types
//       `pin` (VERIFY goes to the card) and, on 90 00, the command is sent once more.
//   kPassThrough: the reader behaves like an ordinary reader and forwards everything.
// All members are safe to call from several threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/card_model.h"

namespace quilta::sim {

inline constexpr uint16_t kSwPinPadTimeout = 0x69F0;
inline constexpr uint16_t kSwPinPadCancel = 0x6401;

enum class PinPadAction { kPassThrough, kEnterPin, kTimeout, kCancel };

struct PinPadSettings {
  PinPadAction action = PinPadAction::kEnterPin;
  std::string pin = "1234";     // what the customer types
  std::string newPin = "5678";  // what the customer types as the new PIN
};

class PinPadReader final : public platform::CardModel {
 public:
  explicit PinPadReader(std::shared_ptr<platform::CardModel> card, PinPadSettings settings = {});

  void SetSettings(const PinPadSettings& settings);
  PinPadSettings Settings() const;
  // Number of times the pad asked the customer for something (PIN, PIN change, confirm).
  int Prompts() const;
  // Replaces the card behind the reader (nullptr = no card: every command answers 6F 00).
  void SetCard(std::shared_ptr<platform::CardModel> card);
  std::shared_ptr<platform::CardModel> Card() const;

  std::vector<uint8_t> Atr() const override;
  void PowerOn() override;
  void PowerOff() override;
  void Reset() override;
  std::vector<uint8_t> Transmit(const uint8_t* apdu, size_t length) override;
  std::vector<uint8_t> Transmit(const std::vector<uint8_t>& apdu) {
    return Transmit(apdu.data(), apdu.size());
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<platform::CardModel> card_;
  PinPadSettings settings_;
  int prompts_ = 0;
};

// Text form of an action for the control channel: "pass", "enter", "timeout", "cancel".
const char* PinPadActionName(PinPadAction action);
bool ParsePinPadAction(const std::string& name, PinPadAction* action);

}  // namespace quilta::sim
