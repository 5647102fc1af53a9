// The PIN on the card: the PIN block the system sends, VERIFY and the PIN change over the
// card channel. Readers with a PIN pad of their own (types 2 and 3) take the PIN in the
// reader's instruction dialog instead, which the facade runs; the commands they are handed
// are built here too (card/commands.h).
#pragma once

#include <optional>
#include <string>

#include "base/secret.h"
#include "base/status.h"
#include "base/text.h"
#include "card/channel.h"
#include "card/commands.h"

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

// Whether PinBlockOf takes `pin` (the block itself is wiped at once).
bool FitsPinBlock(const Text& pin);

// VERIFY of `pin`'s block: 6002 (Outcome::Own) before anything is sent for a PIN that
// PinBlockOf refuses, else the card's answer.
Outcome VerifyPin(Channel& channel, const Text& pin);
// SELECT of the PIN file, the first step of a PIN change.
Outcome SelectPinFile(Channel& channel);
// WRITE RECORD 1 of the PIN file with `block`, the last step of a PIN change.
Outcome WritePin(Channel& channel, const cmd::PinBlock& block);

}  // namespace quilta::card
