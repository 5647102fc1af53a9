// The PIN block: 8 bytes sent as 16 hex characters. The PIN's characters overwrite the
// first characters of "FFFFFFFFFFFFFFFF", one character per nibble, so a six-digit PIN gives
// its digits as nibbles followed by five FF bytes.
#pragma once

#include <optional>
#include <string>

#include "core/text.h"

namespace quilta {

// Longest PIN the card engine accepts, in characters of the 8-bit form.
inline constexpr size_t kMaxPinLength = 16;

// The 16-character block text for `pin`, or nothing when the PIN is longer than 16
// characters or holds a character that is not an upper-case hex digit (such a character
// would be decoded into an arbitrary nibble; the PIN is refused instead).
std::optional<std::string> PinBlockText(const Text& pin);

}  // namespace quilta
