// Session crypto: the key table the plug-in was built with, the cipher key that nono picks
// from it, the cipher, the unwrap of SessionKey and the encryption of result fields.
#pragma once

#include <string>
#include <string_view>

#include "base/secret.h"
#include "base/text.h"
#include "crypto/rijndael.h"

namespace quilta {

class SessionCrypto {
 public:
  explicit SessionCrypto(std::string_view keyTable);

  const std::string& keyTable() const { return keyTable_; }
  const std::string& cipherKey() const { return cipherKey_.value(); }

  // A nono written by the page (within its limit): derives the cipher key.
  void SetNono(const Text& nono);

  // Unwraps the page's SessionKey with the cipher key: 0, 5034 (not the bank's server:
  // the plain block does not begin with "ATM") or 5043. *plainSessionKey is overwritten once
  // the "ATM" check has passed, also when a later check fails; on 0 the cipher is keyed with
  // the session key for EncryptField.
  int32_t UnwrapSessionKey(const Text& sessionKey, SecretText* plainSessionKey);

  // The text's 8-bit form encrypted under the session key, as upper-case hex.
  Text EncryptField(const Text& text);

 private:
  std::string keyTable_;
  SecretBytes cipherKey_;
  CRijndael cipher_;
};

}  // namespace quilta
