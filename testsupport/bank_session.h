// The bank server's side of the session-key contract, for the tests, the demo and the bank
// server simulator. The server shares the key table with the plug-in. For a session it
// chooses:
//   nono        48 decimal digits that select 16 characters of the key table (the cipher key);
//   plain key   16 characters beginning with "ATM" (the session key);
//   SessionKey  32 upper-case hex digits: AES-128-ECB of the plain key under the cipher key.
// The page writes nono and SessionKey into the plug-in; the plug-in hands back fields
// encrypted under the plain key (SessionTAC, EncOutAccountNo, EncID, ValueTAC), which the
// server decrypts and checks here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quilta::bank {

inline constexpr size_t kKeyTableSize = 1000;

// The 48 nono digits that select the given 16 key-table positions (each 0..999): the
// positions are written as 3-digit triples and the even positions of the two 24-digit halves
// are exchanged, the way the plug-in exchanges them back.
std::string NonoForPositions(const std::array<int, 16>& positions);

// The key-table positions a 48-digit nono selects; nullopt when nono is not 48 digits.
std::optional<std::array<int, 16>> PositionsOfNono(std::string_view nono);

class BankSession {
 public:
  // keyTable: the table the plug-in was built with (normally 1000 letters or digits).
  explicit BankSession(std::string_view keyTable);

  // A new session: nono, cipher key and plain key chosen from the seed (the same seed gives
  // the same session) or at random.
  void NewSession(uint64_t seed);
  void NewSession();

  // Uses this nono (48 digits picking positions inside the table); false, and nothing
  // changes, when it is not one. The plain key stays; SessionKey is made again.
  bool SetNono(std::string_view nono);
  // Uses this 16-byte plain block as the session key (tests also wrap blocks that do not
  // begin with "ATM" or hold a zero byte). False, and nothing changes, unless 16 bytes.
  bool SetPlainKey(std::string_view plain16);

  const std::string& nono() const { return nono_; }
  const std::string& cipherKey() const { return cipherKey_; }
  const std::string& plainKey() const { return plainKey_; }
  const std::string& sessionKey() const { return sessionKey_; }

  // A field as the plug-in encrypts it under the plain key (for comparison).
  std::string EncryptField(std::string_view text) const;
  // Decrypts a field the plug-in returned: the plain text with its '0' padding, or nullopt
  // when the text is not a non-empty multiple of 32 upper-case hex digits.
  std::optional<std::string> DecryptField(std::string_view hex) const;
  // True when hex is the plug-in's encryption of `expected` under the plain key.
  bool VerifyField(std::string_view hex, std::string_view expected) const;

 private:
  void Wrap();

  std::string keyTable_;
  std::string nono_;
  std::string cipherKey_;
  std::string plainKey_;
  std::string sessionKey_;
};

// AES-128-ECB of a 16-byte block under a 16-byte key, as 32 upper-case hex digits.
std::string WrapBlock(std::string_view key16, std::string_view block16);

}  // namespace quilta::bank
