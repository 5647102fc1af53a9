// Command and response APDUs as values of fixed capacity: nothing on the exchange path
// touches the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quilta::card {

// A short command APDU: header, optional Lc with its data, optional Le.
class CommandApdu {
 public:
  static constexpr size_t kMaxData = 255;
  static constexpr size_t kMaxSize = 4 + 1 + kMaxData + 1;

  constexpr CommandApdu(uint8_t cla, uint8_t ins, uint8_t p1, uint8_t p2)
      : cla_(cla), ins_(ins), p1_(p1), p2_(p2) {}

  // Lc and the data (Lc is the data's length; an empty span still sends Lc 00).
  CommandApdu& Data(std::span<const uint8_t> data);
  CommandApdu& Le(uint8_t le) {
    le_ = le;
    return *this;
  }

  uint8_t cla() const { return cla_; }
  uint8_t ins() const { return ins_; }
  uint8_t p1() const { return p1_; }
  uint8_t p2() const { return p2_; }
  bool hasLc() const { return hasLc_; }
  std::span<const uint8_t> data() const { return {data_, lc_}; }
  std::optional<uint8_t> le() const { return le_; }

  // The command bytes; returns their count (at most kMaxSize).
  size_t Serialize(uint8_t* out) const;

 private:
  uint8_t cla_, ins_, p1_, p2_;
  bool hasLc_ = false;
  uint8_t lc_ = 0;
  uint8_t data_[kMaxData] = {};
  std::optional<uint8_t> le_;
};

// The card's answer: data bytes followed by SW1 SW2. Only kOffered bytes are ever offered
// to the reader, which bounds every response (256 data bytes and the status word fit).
class ResponseApdu {
 public:
  static constexpr uint32_t kOffered = 272;

  uint8_t* bytes() { return bytes_; }
  const uint8_t* bytes() const { return bytes_; }
  uint32_t size() const { return size_; }
  void SetSize(uint32_t n) { size_ = n > kOffered ? kOffered : n; }
  void Clear();

  bool HasStatusWord() const { return size_ >= 2; }
  uint16_t sw() const { return HasStatusWord() ? static_cast<uint16_t>(bytes_[size_ - 2] << 8 | bytes_[size_ - 1]) : 0; }
  // Data bytes (everything before the status word).
  uint32_t dataSize() const { return size_ > 2 ? size_ - 2 : 0; }
  // Whether the data holds [offset, offset + length): a record shorter than its layout
  // carries none of the fields it does not cover.
  bool Covers(size_t offset, size_t length) const { return dataSize() >= offset + length; }

 private:
  uint8_t bytes_[1028] = {};  // the receive area; only the first kOffered are used
  uint32_t size_ = 0;
};

// The hex-text form of a command (CLA, INS, P1, P2, optional Lc + data, optional Le), as
// pages and the apply family hand it over. Every field must be upper-case hex of its full
// length: nullopt otherwise (the caller answers 6002 and nothing is sent).
struct CommandFields {
  std::string cla, ins, p1, p2;
  std::optional<std::string> lc;  // with lc, data holds 2 * lc characters
  std::string data;
  std::optional<std::string> le;
};
std::optional<CommandApdu> ParseCommand(const CommandFields& fields);

}  // namespace quilta::card
