// The session-key contract with the bank's server: the nono digits pick the key-encryption
// key from the key table, SessionKey unwraps to the 16-character session key beginning with
// "ATM", and result fields are encrypted under that key (AES-128-ECB, upper-case hex).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/rijndael.h"

namespace quilta {

// nono (its 8-bit form; the nono property write drops texts over 200 bytes before calling)
// -> cipher key characters picked from keyTable. Only the first 48 bytes take part: the even
// positions of bytes 0..23 and 24..47 are exchanged, then each of the 16 triples is read as
// a leading decimal integer (no digits reads as 0) and names a position of keyTable. A
// triple that would read outside the table yields no character, so the key comes out
// shorter than 16 and the unwrap fails with 5043: a minus sign, a position past the table's
// end, or a triple not wholly made of the nono's bytes. The nono's bytes are those before
// its end and before its first zero byte; when it holds fewer than 48, every triple that
// takes a byte from a position past them is refused (a 47-byte nono loses key character 15,
// a 46-byte one characters 7 and 15).
std::string DeriveCipherKey(std::string_view nono, std::string_view keyTable);

// Unwraps sessionKey (32 upper-case hex characters; its 8-bit form) with cipherKey.
// Returns 0, 5034 (plain block does not begin with "ATM") or 5043 (not 32 characters, a
// cipher key shorter than 16 bytes, or a plain text that is not 16 characters). On 0 the
// cipher is keyed with the session key and *plain holds it. *plain is overwritten once the
// "ATM" check has passed, also when the length check then fails; otherwise it is untouched.
// With a short cipher key the cipher is not touched; after the cipher key was set, a
// failure leaves the cipher keyed with the cipher key.
// `sessionKeyChars` is the length of the page's text in UTF-16 characters.
// `chain` is the chain handed to SetKey (its first 16 bytes; zero bytes when shorter).
int32_t UnwrapSessionKey(CRijndael& cipher, std::string_view cipherKey, std::string_view chain,
                         std::string_view sessionKey, size_t sessionKeyChars, std::string* plain);

// The 8-bit text padded with '0' to a multiple of 16 bytes, encrypted in ECB with the
// cipher's current key, as upper-case hex: 16 bytes give 32 hex digits, 17 give 64. The
// padding counts bytes of the 8-bit form, so double-byte characters never overrun the
// buffer. An empty text gives the empty text. The cipher must be keyed (a transaction
// unwraps the session key first); otherwise the cipher raises "Object not Initialized".
std::string EncryptField(CRijndael& cipher, std::string_view text);

}  // namespace quilta
