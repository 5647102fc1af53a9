#include "testsupport/bank_session.h"

#include <random>
#include <stdexcept>
#include <vector>

#include "base/hex.h"
#include "crypto/rijndael.h"

namespace quilta::bank {
namespace {

constexpr size_t kHalf = 24;
constexpr char kKeyAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Exchanges the even positions of the two 24-digit halves (its own inverse).
std::string ExchangeHalves(std::string digits) {
  for (size_t i = 0; i < kHalf; i += 2) std::swap(digits[i], digits[i + kHalf]);
  return digits;
}

std::string Ecb(std::string_view key16, std::string_view data, bool encrypt) {
  CRijndael cipher;
  const char chain[16] = {};
  cipher.SetKey(key16.data(), chain, 16, 16);
  std::string out(data.size(), '\0');
  if (encrypt) cipher.Encrypt(data.data(), out.data(), data.size(), CRijndael::ECB);
  else cipher.Decrypt(data.data(), out.data(), data.size(), CRijndael::ECB);
  return out;
}

}  // namespace

std::string NonoForPositions(const std::array<int, 16>& positions) {
  std::string digits;
  for (int p : positions) {
    if (p < 0 || p > 999) throw std::invalid_argument("key-table position outside 0..999");
    digits.push_back(static_cast<char>('0' + p / 100));
    digits.push_back(static_cast<char>('0' + p / 10 % 10));
    digits.push_back(static_cast<char>('0' + p % 10));
  }
  return ExchangeHalves(digits);
}

std::optional<std::array<int, 16>> PositionsOfNono(std::string_view nono) {
  if (nono.size() != 2 * kHalf) return std::nullopt;
  for (char c : nono)
    if (c < '0' || c > '9') return std::nullopt;
  std::string digits = ExchangeHalves(std::string(nono));
  std::array<int, 16> positions{};
  for (size_t k = 0; k < positions.size(); ++k) {
    positions[k] = (digits[3 * k] - '0') * 100 + (digits[3 * k + 1] - '0') * 10 + (digits[3 * k + 2] - '0');
  }
  return positions;
}

std::string WrapBlock(std::string_view key16, std::string_view block16) {
  if (key16.size() != 16 || block16.size() != 16) throw std::invalid_argument("need 16 bytes");
  std::string cipherBlock = Ecb(key16, block16, true);
  return BytesToHex(reinterpret_cast<const uint8_t*>(cipherBlock.data()), 16);
}

BankSession::BankSession(std::string_view keyTable) : keyTable_(keyTable) {
  if (keyTable_.empty()) throw std::invalid_argument("empty key table");
}

void BankSession::NewSession(uint64_t seed) {
  std::mt19937_64 random(seed);
  size_t limit = keyTable_.size() < kKeyTableSize ? keyTable_.size() : kKeyTableSize;
  std::uniform_int_distribution<int> position(0, static_cast<int>(limit) - 1);
  std::uniform_int_distribution<size_t> letter(0, sizeof kKeyAlphabet - 2);
  std::array<int, 16> positions{};
  for (int& p : positions) p = position(random);
  std::string plain = "ATM";
  while (plain.size() < 16) plain.push_back(kKeyAlphabet[letter(random)]);
  nono_ = NonoForPositions(positions);
  cipherKey_.clear();
  for (int p : positions) cipherKey_.push_back(keyTable_[static_cast<size_t>(p)]);
  plainKey_ = plain;
  Wrap();
}

void BankSession::NewSession() {
  std::random_device device;
  NewSession((uint64_t{device()} << 32) ^ device());
}

bool BankSession::SetNono(std::string_view nono) {
  auto positions = PositionsOfNono(nono);
  if (!positions) return false;
  std::string key;
  for (int p : *positions) {
    if (static_cast<size_t>(p) >= keyTable_.size()) return false;
    key.push_back(keyTable_[static_cast<size_t>(p)]);
  }
  nono_ = nono;
  cipherKey_ = key;
  Wrap();
  return true;
}

bool BankSession::SetPlainKey(std::string_view plain16) {
  if (plain16.size() != 16) return false;
  plainKey_ = plain16;
  Wrap();
  return true;
}

void BankSession::Wrap() {
  if (cipherKey_.size() == 16 && plainKey_.size() == 16) sessionKey_ = WrapBlock(cipherKey_, plainKey_);
}

std::string BankSession::EncryptField(std::string_view text) const {
  if (text.empty() || plainKey_.size() != 16) return {};
  std::string padded(text);
  padded.resize((text.size() + 15) / 16 * 16, '0');
  std::string sealed = Ecb(plainKey_, padded, true);
  return BytesToHex(reinterpret_cast<const uint8_t*>(sealed.data()), sealed.size());
}

std::optional<std::string> BankSession::DecryptField(std::string_view hex) const {
  if (hex.empty() || hex.size() % 32 != 0 || plainKey_.size() != 16) return std::nullopt;
  if (!IsUpperHex(hex, hex.size() / 2)) return std::nullopt;
  std::vector<uint8_t> bytes(hex.size() / 2);
  HexToBytes(hex, bytes.size(), bytes.data());
  return Ecb(plainKey_, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
             false);
}

bool BankSession::VerifyField(std::string_view hex, std::string_view expected) const {
  auto plain = DecryptField(hex);
  if (!plain || expected.empty() || plain->size() != (expected.size() + 15) / 16 * 16) return false;
  std::string padded(expected);
  padded.resize(plain->size(), '0');
  return *plain == padded;
}

}  // namespace quilta::bank
