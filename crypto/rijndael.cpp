// Placeholder: the cipher lands with the crypto work.
#include "crypto/rijndael.h"

#include <stdexcept>

namespace quilta {
CRijndael::CRijndael() = default;
CRijndael::~CRijndael() = default;
void CRijndael::SetKey(const char*, const char*, int, int) { throw std::runtime_error("Empty key"); }
void CRijndael::EncryptBlock(const char*, char*) { throw std::runtime_error("Object not Initialized"); }
void CRijndael::DecryptBlock(const char*, char*) { throw std::runtime_error("Object not Initialized"); }
void CRijndael::Encrypt(const char*, char*, size_t, int) { throw std::runtime_error("Object not Initialized"); }
void CRijndael::Decrypt(const char*, char*, size_t, int) { throw std::runtime_error("Object not Initialized"); }
}  // namespace quilta
