#include "crypto/session_crypto.h"

#include "base/status.h"
#include "crypto/field_crypto.h"

namespace quilta {
namespace {
// The chain handed to every SetKey; ECB does not use it.
constexpr char kCipherChain[] = "QuiltaChain0001Z";
}  // namespace

SessionCrypto::SessionCrypto(std::string_view keyTable) : keyTable_(keyTable) {}

void SessionCrypto::SetNono(const Text& nono) {
  std::string derived = DeriveCipherKey(ToNarrow(nono), keyTable_);
  cipherKey_.Assign(derived);
  WipeBytes(derived.data(), derived.size());
}

int32_t SessionCrypto::UnwrapSessionKey(const Text& sessionKey, SecretText* plainSessionKey) {
  std::string plain;
  int32_t rc = quilta::UnwrapSessionKey(cipher_, cipherKey_.value(), kCipherChain,
                                        ToNarrow(sessionKey), sessionKey.size(), &plain);
  if (rc == status::kOk || (rc == status::kBadSessionKey && !plain.empty()))
    plainSessionKey->Assign(FromNarrow(plain));
  WipeBytes(plain.data(), plain.size());
  return rc;
}

Text SessionCrypto::EncryptField(const Text& text) {
  return AsciiText(quilta::EncryptField(cipher_, ToNarrow(text)));
}

}  // namespace quilta
