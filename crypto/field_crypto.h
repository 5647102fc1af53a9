// The session-key contract with the bank's server: the nono digits pick the key-encryption
// key from the key table, SessionKey unwraps to the 16-character session key beginning with
// "ATM", and result fields are encrypted under that key (AES-128-ECB, upper-case hex).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/rijndael.h"

namespace quilta {

// nono (its 8-bit form, at most 200 bytes) -> cipher key characters picked from keyTable.
// A triple that is not an index 000..999 inside the table yields no character, so the key
// comes out shorter than 16 and the unwrap fails cleanly.
std::string DeriveCipherKey(std::string_view nono, std::string_view keyTable);

// Unwraps sessionKey (32 upper-case hex characters; its 8-bit form) with cipherKey.
// Returns 0, 5034 (plain block does not begin with "ATM") or 5043 (not 32 characters, a
// cipher key shorter than 16 bytes, or a plain text that is not 16 characters). On 0 the
// cipher is keyed with the session key and *plain holds it. *plain is overwritten once the
// "ATM" check has passed, also when the length check then fails.
// `sessionKeyChars` is the length of the page's text in UTF-16 characters.
int32_t UnwrapSessionKey(CRijndael& cipher, std::string_view cipherKey, std::string_view chain,
                         std::string_view sessionKey, size_t sessionKeyChars, std::string* plain);

// The 8-bit text padded with '0' to a multiple of 16 bytes, encrypted in ECB with the
// cipher's current key, as upper-case hex. An empty text gives the empty text.
std::string EncryptField(CRijndael& cipher, std::string_view text);

}  // namespace quilta
