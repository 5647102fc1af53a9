// nono -> cipher key, SessionKey unwrap and field encryption, with the bank's server played
// by BankSession, directly and through a core object.
#include "crypto/field_crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "core/atm_core.h"
#include "testsupport/bank_session.h"

namespace quilta {
namespace {

using bank::BankSession;
using bank::WrapBlock;

// A table in which most positions hold different characters from their neighbours.
std::string TestTable(size_t size = 1000) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string t;
  for (size_t i = 0; i < size; ++i) t.push_back(kAlphabet[i * 7 % 62]);
  return t;
}

// The 48 bytes the plug-in reads triples from, given as the page would send them.
std::string Unexchange(std::string b) {
  for (size_t i = 0; i < 24; i += 2) std::swap(b[i], b[i + 24]);
  return b;
}

TEST(DeriveCipherKey, ExchangesEvenPositionsOfTheTwoHalves) {
  const std::string table = TestTable();
  // After the exchange the halves read 212121... and 121212...
  std::string nono = std::string(24, '1') + std::string(24, '2');
  std::string a = {table[212], table[121]};
  std::string b = {table[121], table[212]};
  EXPECT_EQ(DeriveCipherKey(nono, table), a + a + a + a + b + b + b + b);
  // Only the first 48 bytes take part.
  EXPECT_EQ(DeriveCipherKey(nono + std::string(152, '9'), table), a + a + a + a + b + b + b + b);
}

TEST(DeriveCipherKey, ATripleThatNamesNoPositionGivesNoCharacter) {
  const std::string table = TestTable(500);
  std::string good = "000001002003004005006007008009010011012013014499";
  std::string expected;
  for (int p : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 499}) expected.push_back(table[static_cast<size_t>(p)]);
  EXPECT_EQ(DeriveCipherKey(Unexchange(good), table), expected);

  EXPECT_EQ(DeriveCipherKey("", table), "");  // nono never sent in full
  auto withTriple = [&](int k, const std::string& triple) {
    std::string b = good;
    b.replace(static_cast<size_t>(3 * k), 3, triple);
    return DeriveCipherKey(Unexchange(b), table);
  };
  EXPECT_EQ(withTriple(15, "500").size(), 15u);  // past the table's end
  EXPECT_EQ(withTriple(2, "-12").size(), 15u);   // negative
  EXPECT_EQ(withTriple(3, "abc"), withTriple(3, "000"));  // no digits reads as 0
  // The leading-integer reading still holds where it names a position.
  EXPECT_EQ(withTriple(4, "12x"), withTriple(4, "012"));
  EXPECT_EQ(withTriple(4, "12x")[4], table[12]);
}

// A triple that would take a byte past the nono's end or its first zero byte names no
// position; the others still do. Even positions of the two halves are exchanged, so a byte
// missing at 24 + 2i takes out the triple holding position 2i.
TEST(DeriveCipherKey, ATripleMustComeWhollyFromTheNono) {
  const std::string table = TestTable();
  std::string digits;
  for (int k = 0; k < 16; ++k) digits += "10" + std::to_string(k % 10);  // triple k: 10k
  const std::string nono = Unexchange(digits);
  auto keyWithout = [&](std::initializer_list<int> missing) {
    std::string key;
    for (int k = 0; k < 16; ++k)
      if (std::find(missing.begin(), missing.end(), k) == missing.end()) key.push_back(table[100 + k % 10]);
    return key;
  };
  const struct {
    std::string nono;
    std::string key;
  } cases[] = {
      {nono, keyWithout({})},
      {nono.substr(0, 47), keyWithout({15})},
      {nono.substr(0, 46), keyWithout({7, 15})},
      {nono.substr(0, 44), keyWithout({6, 7, 15})},
      {nono.substr(0, 24), keyWithout({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})},
      {nono.substr(0, 47) + std::string(1, '\0'), keyWithout({15})},
      {nono.substr(0, 30) + std::string(1, '\0') + nono.substr(31), keyWithout({2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15})},
      {std::string(1, '\0') + nono.substr(1), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DeriveCipherKey(c.nono, table), c.key) << c.nono.size();
}

class UnwrapTest : public ::testing::Test {
 protected:
  UnwrapTest() : table(TestTable()), server(table) { server.NewSession(7); }
  int32_t Unwrap(const std::string& sessionKey, const std::string& cipherKey) {
    return UnwrapSessionKey(cipher, cipherKey, "chain-of-16-byte", sessionKey, sessionKey.size(), &plain);
  }
  std::string table;
  BankSession server;
  CRijndael cipher;
  std::string plain = "untouched";
};

TEST_F(UnwrapTest, KeyFromTheBanksServerUnwrapsAndKeysTheCipher) {
  ASSERT_EQ(DeriveCipherKey(server.nono(), table), server.cipherKey());
  ASSERT_EQ(Unwrap(server.sessionKey(), server.cipherKey()), 0);
  EXPECT_EQ(plain, server.plainKey());
  EXPECT_EQ(EncryptField(cipher, plain), WrapBlock(plain, plain));
}

TEST_F(UnwrapTest, RejectsBadSessionKeys) {
  std::string key = server.sessionKey();
  EXPECT_EQ(Unwrap(key.substr(0, 31), server.cipherKey()), 5043);
  EXPECT_EQ(Unwrap(key + "0", server.cipherKey()), 5043);
  EXPECT_EQ(plain, "untouched");

  std::string lower = key;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(lower, key);
  EXPECT_EQ(Unwrap(lower, server.cipherKey()), 5034);

  ASSERT_TRUE(server.SetPlainKey("XTM0123456789abc"));
  EXPECT_EQ(Unwrap(server.sessionKey(), server.cipherKey()), 5034);
  EXPECT_EQ(plain, "untouched");
  // The cipher stays keyed with the cipher key.
  EXPECT_EQ(EncryptField(cipher, "XTM0123456789abc"), server.sessionKey());
}

TEST_F(UnwrapTest, PlainTextMustBeSixteenCharacters) {
  ASSERT_TRUE(server.SetPlainKey(std::string("ATMabc\0defghijkl", 16)));
  EXPECT_EQ(Unwrap(server.sessionKey(), server.cipherKey()), 5043);
  EXPECT_EQ(plain, "ATMabc");  // overwritten once the ATM check has passed
  // Sixteen bytes holding a double-byte character are fifteen characters.
  ASSERT_TRUE(server.SetPlainKey("ATM\xA4\x40" "abcdefghijk"));
  EXPECT_EQ(Unwrap(server.sessionKey(), server.cipherKey()), 5043);
}

TEST_F(UnwrapTest, ShortCipherKeyFailsWithoutTouchingTheCipher) {
  EXPECT_EQ(Unwrap(server.sessionKey(), ""), 5043);
  EXPECT_EQ(Unwrap(server.sessionKey(), server.cipherKey().substr(0, 15)), 5043);
  EXPECT_FALSE(cipher.Initialized());
  EXPECT_EQ(plain, "untouched");
}

TEST(EncryptField, PadsWithZeroDigitsToWholeBlocks) {
  const std::string key = "ATMsession-key-1";
  CRijndael cipher;
  cipher.SetKey(key.data(), key.data());
  EXPECT_EQ(EncryptField(cipher, ""), "");
  EXPECT_EQ(EncryptField(cipher, "0123456789ABCDEF"), WrapBlock(key, "0123456789ABCDEF"));
  std::string seventeen = EncryptField(cipher, "0123456789ABCDEFG");
  EXPECT_EQ(seventeen, WrapBlock(key, "0123456789ABCDEF") + WrapBlock(key, "G000000000000000"));
}

TEST(BankSession, SessionsAreReproducibleAndWellFormed) {
  const std::string table = TestTable();
  BankSession a(table), b(table);
  a.NewSession(42);
  b.NewSession(42);
  EXPECT_EQ(a.nono(), b.nono());
  EXPECT_EQ(a.sessionKey(), b.sessionKey());
  b.NewSession();
  for (const BankSession* s : {&a, &b}) {
    EXPECT_EQ(s->nono().find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(s->nono().size(), 48u);
    EXPECT_EQ(s->plainKey().substr(0, 3), "ATM");
    EXPECT_EQ(s->sessionKey().find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(s->sessionKey().size(), 32u);
    EXPECT_EQ(bank::PositionsOfNono(s->nono()).has_value(), true);
  }
  EXPECT_FALSE(a.SetNono(a.nono().substr(1)));
  EXPECT_FALSE(a.SetNono(std::string(47, '1') + "x"));
  // Fields the server reads back.
  std::string field = a.EncryptField("1234567890123");
  EXPECT_EQ(a.DecryptField(field), std::string("1234567890123000"));
  EXPECT_TRUE(a.VerifyField(field, "1234567890123"));
  EXPECT_FALSE(a.VerifyField(field, "1234567890124"));
  EXPECT_FALSE(a.DecryptField(field.substr(2)).has_value());
  EXPECT_FALSE(a.DecryptField("a" + field.substr(1)).has_value());
}

// ---- Through the core object, as the transactions use it ----

class CoreSessionTest : public ::testing::Test {
 protected:
  CoreSessionTest() : server(core.crypto().keyTable()) { server.NewSession(2026); }
  void Send(const std::string& nono, const std::string& sessionKey) {
    core.PutText(Prop::nono, AsciiText(nono));
    core.PutText(Prop::SessionKey, AsciiText(sessionKey));
  }
  CAtmCore core;
  BankSession server;
};

TEST_F(CoreSessionTest, SessionTacIsTheKeyEncryptedUnderItself) {
  Send(server.nono(), server.sessionKey());
  ASSERT_EQ(core.UnwrapSessionKey(), 0);
  EXPECT_EQ(core.state().plainSessionKey.value(), AsciiText(server.plainKey()));
  Text sessionTac = core.EncryptField(core.state().plainSessionKey.value());
  EXPECT_EQ(sessionTac, AsciiText(WrapBlock(server.plainKey(), server.plainKey())));
  EXPECT_EQ(core.EncryptField(AsciiText("1234567890123456")).size(), 32u);
  Text seventeen = core.EncryptField(AsciiText("12345678901234567"));
  EXPECT_EQ(seventeen.size(), 64u);
  EXPECT_TRUE(server.VerifyField(ToNarrow(seventeen), "12345678901234567"));
  // Double-byte characters are padded by their bytes: 9 characters, 18 bytes, 2 blocks.
  Text chinese = u"一二三四五六七八九";
  Text sealed = core.EncryptField(chinese);
  EXPECT_EQ(sealed.size(), 64u);
  EXPECT_TRUE(server.VerifyField(ToNarrow(sealed), ToNarrow(chinese)));
}

TEST_F(CoreSessionTest, NonoOverTwoHundredBytesLeavesTheCipherKey) {
  Send(server.nono(), server.sessionKey());
  const std::string before = core.crypto().cipherKey();
  ASSERT_EQ(before, server.cipherKey());
  BankSession other(core.crypto().keyTable());
  other.NewSession(99);
  core.PutText(Prop::nono, AsciiText(other.nono() + std::string(153, '0')));  // 201
  EXPECT_EQ(core.crypto().cipherKey(), before);
  core.PutText(Prop::nono, AsciiText(other.nono() + std::string(152, '0')));  // 200
  EXPECT_EQ(core.crypto().cipherKey(), other.cipherKey());
}

TEST_F(CoreSessionTest, FailuresKeepOrReplaceThePlainKeyAsDocumented) {
  // No nono yet: no key to unwrap with.
  core.PutText(Prop::SessionKey, AsciiText(server.sessionKey()));
  EXPECT_EQ(core.UnwrapSessionKey(), 5043);
  EXPECT_EQ(core.state().plainSessionKey.value(), u"");

  Send(server.nono(), server.sessionKey());
  ASSERT_EQ(core.UnwrapSessionKey(), 0);
  core.PutText(Prop::SessionKey, AsciiText(server.sessionKey().substr(1)));
  EXPECT_EQ(core.UnwrapSessionKey(), 5043);
  EXPECT_EQ(core.state().plainSessionKey.value(), AsciiText(server.plainKey()));

  ASSERT_TRUE(server.SetPlainKey(std::string("ATM12345\0abcdefg", 16)));
  core.PutText(Prop::SessionKey, AsciiText(server.sessionKey()));
  EXPECT_EQ(core.UnwrapSessionKey(), 5043);
  EXPECT_EQ(core.state().plainSessionKey.value(), u"ATM12345");
}

}  // namespace
}  // namespace quilta
