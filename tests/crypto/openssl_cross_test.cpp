// The cipher against the system's libcrypto on random keys, chains and data.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <string>

#include "crypto/rijndael.h"
#include "testsupport/hex_text.h"

namespace quilta {
namespace {

const EVP_CIPHER* Reference(size_t keyBytes, int mode) {
  switch (mode) {
    case CRijndael::CBC:
      return keyBytes == 16 ? EVP_aes_128_cbc() : keyBytes == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
    case CRijndael::CFB:
      return keyBytes == 16 ? EVP_aes_128_cfb128() : keyBytes == 24 ? EVP_aes_192_cfb128() : EVP_aes_256_cfb128();
    default:
      return keyBytes == 16 ? EVP_aes_128_ecb() : keyBytes == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
  }
}

std::string ReferenceEncrypt(const std::string& key, const std::string& iv, const std::string& data, int mode) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), Reference(key.size(), mode), nullptr,
                               reinterpret_cast<const unsigned char*>(key.data()),
                               reinterpret_cast<const unsigned char*>(iv.data())),
            1);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  std::string out(data.size() + 16, '\0');
  int len = 0, tail = 0;
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len,
                              reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())),
            1);
  EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + len, &tail), 1);
  out.resize(static_cast<size_t>(len + tail));
  return out;
}

std::string RandomBytes(std::mt19937& random, size_t n) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(byte(random));
  return s;
}

TEST(RijndaelCrossCheck, AgreesWithLibcryptoOnRandomInputs) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> blocks(1, 40);
  const size_t keySizes[] = {16, 24, 32};
  for (int round = 0; round < 150; ++round) {
    const size_t keyBytes = keySizes[round % 3];
    const int mode = round / 3 % 3;
    const std::string key = RandomBytes(random, keyBytes);
    const std::string iv = RandomBytes(random, 16);
    const std::string plain = RandomBytes(random, 16 * static_cast<size_t>(blocks(random)));
    SCOPED_TRACE(::testing::Message() << "round " << round << " key " << keyBytes << " mode " << mode);

    const std::string expected = ReferenceEncrypt(key, iv, plain, mode);
    CRijndael ours;
    ours.SetKey(key.data(), iv.data(), static_cast<int>(keyBytes), 16);
    std::string sealed(plain.size(), '\0');
    ours.Encrypt(plain.data(), sealed.data(), plain.size(), mode);
    ASSERT_EQ(testing::LowerHex(sealed), testing::LowerHex(expected));

    ours.SetKey(key.data(), iv.data(), static_cast<int>(keyBytes), 16);
    std::string opened(plain.size(), '\0');
    ours.Decrypt(expected.data(), opened.data(), expected.size(), mode);
    ASSERT_EQ(opened, plain);
  }
}

}  // namespace
}  // namespace quilta
