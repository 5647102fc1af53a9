// PIN verification and change: the PIN block sent on ordinary readers, and the seam through
// which second-generation readers (types 2 and 3) take the PIN on their own pad.
#pragma once

#include <optional>
#include <string>

#include "card/apdu.h"
#include "card/commands.h"
#include "core/parts.h"
#include "core/secret.h"

namespace quilta::card {

// Longest PIN the card engine accepts, in characters of the 8-bit form.
inline constexpr size_t kMaxPinLength = 16;

// The block's text: "FFFFFFFFFFFFFFFF" with its first characters replaced by the PIN's
// (one character per nibble; at most 16 are used). The card decodes it as hex.
std::string PinBlockText(std::string_view pin);

// The 8-byte block for `pin`, or nothing when the PIN is longer than 16 characters or holds
// a character that is not an upper-case hex digit (it would be decoded into an arbitrary
// nibble; the PIN is refused instead).
std::optional<cmd::PinBlock> PinBlockOf(const Text& pin);

// What VerifyPIN / ChangePIN hand the reader-instruction dialog for reader types 2 and 3.
struct ReaderPinRequest {
  Text caption;           // "密碼認證" or "密碼變更"
  Text instruction;       // shown in control 202
  int32_t readerType = 0;
  std::optional<CommandApdu> command;  // type 2: sent once by the dialog
  SecretText pin;         // type 3
  SecretText newPin;      // type 3, change only
  bool change = false;
};

// The seam through which the card engine runs the reader-instruction dialog (template 103).
// Returns the dialog's end code: 2 cancelled, 1 OK before the exchange, -1 not shown, else
// the card's status word or a PC/SC result.
class ReaderPinDialog {
 public:
  virtual ~ReaderPinDialog() = default;
  virtual int32_t Run(CoreParts& core, const ReaderPinRequest& request) = 0;
};

int32_t VerifyPIN(CoreParts& core, const Text& pin);
int32_t ChangePIN(CoreParts& core, const Text& oldPin, const Text& newPin);

}  // namespace quilta::card
