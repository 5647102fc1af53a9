// PIN verification and change: the PIN block sent on ordinary readers, and the seam through
// which second-generation readers (types 2 and 3) take the PIN on their own pad.
#pragma once

#include <optional>
#include <string>

#include "card/apdu.h"
#include "card/commands.h"
#include "core/parts.h"
#include "base/secret.h"

namespace quilta::card {

// Longest PIN the card engine accepts, in characters of the 8-bit form.
inline constexpr size_t kMaxPinLength = 16;

// The block's text: "FFFFFFFFFFFFFFFF" with its first characters replaced by the PIN's
// (one character per nibble; at most 16 are used). The card decodes it as hex.
std::string PinBlockText(std::string_view pin);

// The 8-byte block for `pin`, or nothing when the PIN is empty, longer than 16 characters or
// holds a character that is not an upper-case hex digit (it would be decoded into an
// arbitrary nibble; the PIN is refused instead). An empty PIN would be the all-F block: the
// card answers it 66 08 and counts a try, and written as a new PIN it would replace the
// customer's own. Only PINs typed on the page come here; a reader's pad sends its own block.
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

// VERIFY of the page's PIN (the PIN block) on an ordinary reader, or the reader-instruction
// dialog on types 2 and 3. 6002 before any card command for a PIN over 16 characters and,
// except on type 2 (the customer types the PIN on the reader, the argument is not used), for
// one PinBlockOf refuses: an empty PIN included. PinVerified is set on success.
int32_t VerifyPIN(CoreParts& core, const Text& pin);
// SELECT of the PIN file, then VerifyPIN of the old PIN and WRITE of the new PIN's block (or
// the dialog on types 2 and 3). Both PINs are checked as for VerifyPIN before the SELECT.
int32_t ChangePIN(CoreParts& core, const Text& oldPin, const Text& newPin);

}  // namespace quilta::card
