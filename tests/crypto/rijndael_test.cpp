#include "crypto/rijndael.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "testsupport/hex_text.h"

namespace quilta {
namespace {

using testing::ByteText;
using testing::LowerHex;

struct Keyed {
  CRijndael cipher;
  Keyed(std::string_view key, std::string_view chain, int block = 16) {
    cipher.SetKey(key.data(), chain.empty() ? nullptr : chain.data(), static_cast<int>(key.size()), block);
  }
  std::string Enc(std::string_view in, int mode) {
    std::string out(in.size(), '\0');
    cipher.Encrypt(in.data(), out.data(), in.size(), mode);
    return out;
  }
  std::string Dec(std::string_view in, int mode) {
    std::string out(in.size(), '\0');
    cipher.Decrypt(in.data(), out.data(), in.size(), mode);
    return out;
  }
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// ---- Published vectors ----

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// The worked example and the example vectors of the AES standard.
TEST(Rijndael, StandardExampleVectors) {
  const Vector vectors[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
       "3925841d02dc09fbdc118597196a0b32"},
      {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
       "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
       "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.key);
    Keyed k(ByteText(v.key), "");
    std::string out(16, '\0');
    k.cipher.EncryptBlock(ByteText(v.plain).data(), out.data());
    EXPECT_EQ(LowerHex(out), v.cipher);
    k.cipher.DecryptBlock(ByteText(v.cipher).data(), out.data());
    EXPECT_EQ(LowerHex(out), v.plain);
    EXPECT_EQ(LowerHex(k.Enc(ByteText(v.plain), CRijndael::ECB)), v.cipher);
    EXPECT_EQ(LowerHex(k.Dec(ByteText(v.cipher), CRijndael::ECB)), v.plain);
  }
}

// The block-cipher-mode example vectors (four blocks each; CFB is the full-block variant).
TEST(Rijndael, ModeExampleVectors) {
  const std::string plain = ByteText(
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
      "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  const std::string iv = ByteText("000102030405060708090a0b0c0d0e0f");
  const std::string k128 = ByteText("2b7e151628aed2a6abf7158809cf4f3c");
  const std::string k192 = ByteText("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
  const std::string k256 =
      ByteText("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  struct Case {
    const std::string* key;
    int mode;
    const char* cipher;
  } cases[] = {
      {&k128, CRijndael::ECB,
       "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
       "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4"},
      {&k192, CRijndael::ECB,
       "bd334f1d6e45f25ff712a214571fa5cc974104846d0ad3ad7734ecb3ecee4eef"
       "ef7afd2270e2e60adce0ba2face6444e9a4b41ba738d6c72fb16691603c18e0e"},
      {&k256, CRijndael::ECB,
       "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870"
       "b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7"},
      {&k128, CRijndael::CBC,
       "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
       "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
      {&k192, CRijndael::CBC,
       "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
       "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
      {&k256, CRijndael::CBC,
       "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
       "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
      {&k128, CRijndael::CFB,
       "3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"
       "26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d1c0eeac4c66f9ff7f2e6"},
      {&k192, CRijndael::CFB,
       "cdc80d6fddf18cab34c25909c99a417467ce7f7f81173621961a2b70171d3d7a"
       "2e1e8a1dd59b88b1c8e60fed1efac4c9c05f9f9ca9834fa042ae8fba584b09ff"},
      {&k256, CRijndael::CFB,
       "dc7e84bfda79164b7ecd8486985d386039ffed143b28b1c832113c6331e5407b"
       "df10132415e54b92a13ed0a8267ae2f975a385741ab9cef82031623d55b1e471"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "key bytes " << c.key->size() << " mode " << c.mode);
    Keyed k(*c.key, iv);
    EXPECT_EQ(LowerHex(k.Enc(plain, c.mode)), c.cipher);
    Keyed d(*c.key, iv);
    EXPECT_EQ(LowerHex(d.Dec(ByteText(c.cipher), c.mode)), LowerHex(plain));
    // The chain carries over from one call to the next: block by block gives the same.
    Keyed split(*c.key, iv);
    std::string joined;
    for (size_t i = 0; i < plain.size(); i += 16) joined += split.Enc(plain.substr(i, 16), c.mode);
    EXPECT_EQ(LowerHex(joined), c.cipher);
    Keyed splitDec(*c.key, iv);
    std::string back = splitDec.Dec(ByteText(c.cipher).substr(0, 32), c.mode);
    back += splitDec.Dec(ByteText(c.cipher).substr(32), c.mode);
    EXPECT_EQ(back, plain);
  }
}

// The wider Rijndael blocks, with the published size-test vectors.
TEST(Rijndael, WideBlockVectors) {
  const std::string plainAll =
      ByteText("3243f6a8885a308d313198a2e03707344a4093822299f31d0082efa98ec4e6c8");
  const std::string keyAll =
      ByteText("2b7e151628aed2a6abf7158809cf4f3c762e7160f38b4da56a784d9045190cfe");
  struct Case {
    int block, key;
    const char* cipher;
  } cases[] = {
      {16, 24, "f9fb29aefc384a250340d833b87ebc00"},
      {16, 32, "1a6e6c2c662e7da6501ffb62bc9e93f3"},
      {24, 16, "b24d275489e82bb8f7375e0d5fcdb1f481757c538b65148a"},
      {24, 24, "725ae43b5f3161de806a7c93e0bca93c967ec1ae1b71e1cf"},
      {24, 32, "0ebacf199e3315c2e34b24fcc7c46ef4388aa475d66c194c"},
      {32, 16, "7d15479076b69a46ffb3b3beae97ad8313f622f67fedb487de9f06b9ed9c8f19"},
      {32, 24, "5d7101727bb25781bf6715b0e6955282b9610e23a43c2eb062699f0ebf5887b2"},
      {32, 32, "a49406115dfb30a40418aafa4869b7c6a886ff31602a7dd19c889dc64f7e4e7a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "block " << c.block << " key " << c.key);
    Keyed k(keyAll.substr(0, static_cast<size_t>(c.key)), "", c.block);
    std::string plain = plainAll.substr(0, static_cast<size_t>(c.block));
    EXPECT_EQ(LowerHex(k.Enc(plain, CRijndael::ECB)), c.cipher);
    EXPECT_EQ(k.Dec(ByteText(c.cipher), CRijndael::ECB), plain);
  }
}

// ---- Errors ----

TEST(Rijndael, ErrorTexts) {
  const std::string key(32, 'k');
  char buf[64] = {};
  CRijndael c;
  EXPECT_FALSE(c.Initialized());
  EXPECT_EQ(ErrorOf([&] { c.SetKey(nullptr, key.data(), 20, 20); }), "Empty key");
  EXPECT_EQ(ErrorOf([&] { c.SetKey(key.data(), key.data(), 20, 20); }), "Incorrect key length");
  EXPECT_EQ(ErrorOf([&] { c.SetKey(key.data(), key.data(), 16, 20); }), "Incorrect block length");
  EXPECT_EQ(ErrorOf([&] { c.SetKey(key.data(), key.data(), 0, 16); }), "Incorrect key length");
  EXPECT_FALSE(c.Initialized());
  EXPECT_EQ(ErrorOf([&] { c.EncryptBlock(buf, buf); }), "Object not Initialized");
  EXPECT_EQ(ErrorOf([&] { c.DecryptBlock(buf, buf); }), "Object not Initialized");
  // Before a key, the missing key is reported even for a bad length.
  EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, buf, 0); }), "Object not Initialized");
  EXPECT_EQ(ErrorOf([&] { c.Decrypt(buf, buf, 17); }), "Object not Initialized");

  c.SetKey(key.data(), key.data(), 16, 16);
  for (size_t n : {size_t{0}, size_t{17}, size_t{8}}) {
    for (int mode : {CRijndael::ECB, CRijndael::CBC, CRijndael::CFB}) {
      EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, buf, n, mode); }), "Data not multiple of Block Size");
      EXPECT_EQ(ErrorOf([&] { c.Decrypt(buf, buf, n, mode); }), "Data not multiple of Block Size");
    }
  }
  c.SetKey(key.data(), key.data(), 16, 24);
  EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, buf, 32); }), "Data not multiple of Block Size");
  EXPECT_EQ(ErrorOf([&] { c.Encrypt(buf, buf, 48); }), "(nothing raised)");
}

TEST(Rijndael, FailedSetKeyChangesNothing) {
  const std::string key = ByteText("2b7e151628aed2a6abf7158809cf4f3c");
  const std::string iv = ByteText("000102030405060708090a0b0c0d0e0f");
  const std::string plain =
      ByteText("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
  Keyed k(key, iv);
  std::string first = k.Enc(plain.substr(0, 16), CRijndael::CBC);
  const std::string other(32, 'x');
  EXPECT_THROW(k.cipher.SetKey(other.data(), other.data(), 24, 20), std::runtime_error);
  EXPECT_THROW(k.cipher.SetKey(other.data(), other.data(), 12, 16), std::runtime_error);
  EXPECT_THROW(k.cipher.SetKey(nullptr, other.data(), 16, 16), std::runtime_error);
  EXPECT_EQ(k.cipher.KeyLength(), 16);
  EXPECT_EQ(k.cipher.BlockSize(), 16);
  // Key and current chain are as before: the second CBC block continues the first.
  std::string second = k.Enc(plain.substr(16), CRijndael::CBC);
  EXPECT_EQ(LowerHex(first + second),
            "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2");
}

// ---- Mode behaviour ----

TEST(Rijndael, CbcHidesRepeatedBlocksEcbDoesNot) {
  const std::string key(16, 'K');
  const std::string chain(16, 'C');
  const std::string plain(32, 'P');
  Keyed ecb(key, chain);
  std::string e = ecb.Enc(plain, CRijndael::ECB);
  EXPECT_EQ(e.substr(0, 16), e.substr(16));
  Keyed cbc(key, chain);
  std::string c = cbc.Enc(plain, CRijndael::CBC);
  EXPECT_NE(c.substr(0, 16), c.substr(16));
}

TEST(Rijndael, SetKeyResetsTheChain) {
  const std::string key(16, 'K');
  const std::string chain(16, 'C');
  const std::string plain(16, 'P');
  for (int mode : {CRijndael::CBC, CRijndael::CFB}) {
    Keyed k(key, chain);
    std::string first = k.Enc(plain, mode);
    EXPECT_NE(k.Enc(plain, mode), first);  // the chain moved on
    k.cipher.SetKey(key.data(), chain.data(), 16, 16);
    EXPECT_EQ(k.Enc(plain, mode), first);
    // ECB neither uses nor moves the chain.
    std::string ecb = k.Enc(plain, CRijndael::ECB);
    EXPECT_EQ(k.Enc(plain, CRijndael::ECB), ecb);
  }
}

// Every mode and block size decrypts what it encrypted, also in place.
TEST(Rijndael, InPlaceMatchesSeparateBuffers) {
  const std::string key =
      ByteText("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  const std::string chain(32, '\x11');
  for (int block : {16, 24, 32}) {
    std::string plain;
    for (int i = 0; i < 4 * block; ++i) plain.push_back(static_cast<char>(i * 13));
    for (int mode : {CRijndael::ECB, CRijndael::CBC, CRijndael::CFB}) {
      SCOPED_TRACE(::testing::Message() << "block " << block << " mode " << mode);
      Keyed separate(key, chain, block);
      std::string expected = separate.Enc(plain, mode);
      Keyed inPlace(key, chain, block);
      std::string buf = plain;
      inPlace.cipher.Encrypt(buf.data(), buf.data(), buf.size(), mode);
      EXPECT_EQ(buf, expected);
      Keyed back(key, chain, block);
      back.cipher.Decrypt(buf.data(), buf.data(), buf.size(), mode);
      EXPECT_EQ(buf, plain);
    }
  }
}

}  // namespace
}  // namespace quilta
