// An independent AES-128 reference (OpenSSL) to check the card's TAC and challenge answers.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quilta::sim::test {

// AES-128-CBC, zero IV, no padding; input length a multiple of 16.
inline std::vector<uint8_t> AesCbc(const uint8_t* key, const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out(in.size() + 16);
  unsigned char iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n1 = 0, n2 = 0;
  EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key, iv);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size()));
  EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(n1 + n2));
  return out;
}

// The TAC: CBC-MAC over the 8 sequence digits and the block, padded 80 00.., first 8 bytes
// of the last cipher block.
inline std::vector<uint8_t> ExpectedTac(const uint8_t* key, const std::string& seqDigits,
                                        const std::vector<uint8_t>& block) {
  std::vector<uint8_t> data(seqDigits.begin(), seqDigits.end());
  data.insert(data.end(), block.begin(), block.end());
  data.push_back(0x80);
  while (data.size() % 16) data.push_back(0);
  auto c = AesCbc(key, data);
  return std::vector<uint8_t>(c.end() - 16, c.end() - 8);
}

}  // namespace quilta::sim::test
