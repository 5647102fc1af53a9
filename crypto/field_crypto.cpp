#include "crypto/field_crypto.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/hex.h"
#include "base/status.h"
#include "base/text.h"

namespace quilta {
namespace {

constexpr size_t kNonoDigits = 48;
constexpr size_t kHalf = kNonoDigits / 2;
constexpr size_t kKeyChars = 16;
constexpr size_t kBlock = 16;

// The key-table position a triple names, read as a leading decimal integer the way the
// bank's server writes it: optional white space and sign, then digits up to the first other
// byte; no digits reads as 0. A minus sign or a position outside the table: no position.
bool TriplePosition(const char* triple, size_t tableSize, size_t* position) {
  size_t i = 0;
  while (i < 3 && (triple[i] == ' ' || (triple[i] >= '\t' && triple[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < 3 && (triple[i] == '+' || triple[i] == '-')) negative = triple[i++] == '-';
  size_t value = 0;
  for (; i < 3 && triple[i] >= '0' && triple[i] <= '9'; ++i) {
    value = value * 10 + static_cast<size_t>(triple[i] - '0');
  }
  if (negative || value >= tableSize) return false;
  *position = value;
  return true;
}

// The byte of the page's nono that lands at position j after the exchange.
size_t SourceOf(size_t j) {
  if (j % 2 != 0) return j;
  return j < kHalf ? j + kHalf : j - kHalf;
}

}  // namespace

std::string DeriveCipherKey(std::string_view nono, std::string_view keyTable) {
  // The 8-bit text as a zero-terminated string: it ends at its first zero byte, and only its
  // first 48 bytes take part.
  size_t held = std::min(nono.size(), kNonoDigits);
  held = std::min(held, nono.substr(0, held).find('\0'));
  char a[kNonoDigits] = {};
  std::memcpy(a, nono.data(), held);

  // Exchange the even positions of the two halves; odd positions stay.
  char b[kNonoDigits];
  for (size_t j = 0; j < kNonoDigits; ++j) b[j] = a[SourceOf(j)];

  // A triple must come wholly from the nono: one that would read bytes past its end (a nono
  // shorter than 48 bytes or cut by a zero byte) names no position.
  std::string key;
  for (size_t k = 0; k < kKeyChars; ++k) {
    const size_t first = 3 * k;
    bool whole = true;
    for (size_t j = first; j < first + 3; ++j) whole = whole && SourceOf(j) < held;
    size_t position = 0;
    if (whole && TriplePosition(b + first, keyTable.size(), &position)) {
      key.push_back(keyTable[position]);
    }
  }
  return key;
}

int32_t UnwrapSessionKey(CRijndael& cipher, std::string_view cipherKey, std::string_view chain,
                         std::string_view sessionKey, size_t sessionKeyChars, std::string* plain) {
  // The cipher takes exactly 16 key bytes; a shorter key (nono never written or not 48
  // digits) cannot have come from the bank's server.
  if (cipherKey.size() < kKeyChars) return status::kBadSessionKey;
  char iv[kBlock] = {};
  std::memcpy(iv, chain.data(), chain.size() < kBlock ? chain.size() : kBlock);
  cipher.SetKey(cipherKey.data(), iv, static_cast<int>(kKeyChars), static_cast<int>(kBlock));

  if (sessionKeyChars != 2 * kBlock || sessionKey.size() < 2 * kBlock) {
    return status::kBadSessionKey;
  }
  uint8_t block[kBlock] = {};
  HexToBytes(sessionKey.substr(0, 2 * kBlock), kBlock, block);
  char clear[kBlock + 1] = {};
  cipher.Decrypt(reinterpret_cast<const char*>(block), clear, kBlock, CRijndael::ECB);
  if (clear[0] != 'A' || clear[1] != 'T' || clear[2] != 'M') return status::kNotBankServer;

  // The plain text runs to the first zero byte; it must be 16 characters.
  std::string text(clear, std::find(clear, clear + kBlock, '\0'));
  *plain = text;
  if (text.size() != kKeyChars || FromNarrow(text).size() != kKeyChars) {
    return status::kBadSessionKey;
  }
  cipher.SetKey(text.data(), iv, static_cast<int>(kKeyChars), static_cast<int>(kBlock));
  return status::kOk;
}

std::string EncryptField(CRijndael& cipher, std::string_view text) {
  if (text.empty()) return {};
  // Padded by the byte count of the 8-bit form, so a text with double-byte characters
  // still fits the buffer.
  size_t n = (text.size() + kBlock - 1) / kBlock * kBlock;
  std::vector<char> buffer(n, '0');
  std::memcpy(buffer.data(), text.data(), text.size());
  cipher.Encrypt(buffer.data(), buffer.data(), n, CRijndael::ECB);
  return BytesToHex(reinterpret_cast<const uint8_t*>(buffer.data()), n);
}

}  // namespace quilta
