// Placeholder: field encryption lands with the crypto work.
#include "crypto/field_crypto.h"

namespace quilta {
std::string DeriveCipherKey(std::string_view, std::string_view) { return {}; }
int32_t UnwrapSessionKey(CRijndael&, std::string_view, std::string_view, std::string_view, size_t,
                         std::string*) {
  return 5043;
}
std::string EncryptField(CRijndael&, std::string_view) { return {}; }
}  // namespace quilta
