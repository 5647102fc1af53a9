// The wire between the test-only winscard.dll (inside Wine) and the PC/SC bridge process on
// the Linux side: one TCP connection on 127.0.0.1 per calling thread, one request and its
// answer at a time. Frames are a 32-bit little-endian length and that many bytes.
//   request:  op (1 byte), then the op's fields
//   answer:   the PC/SC result (u32), then the op's outputs (none when the result is an error,
//             except ListReaders, which gives the length wanted with INSUFFICIENT_BUFFER)
// Fields: u32 and u64 little-endian; texts and byte strings as a u32 length and the bytes.
//   EstablishContext  scope                          -> context(u64)
//   ReleaseContext    context                        ->
//   ListReaders       context, wantText(u32 0|1), capacity(u32)
//                                                    -> length(u32), text (with wantText)
//   GetStatusChange   context, timeout, count, count x (reader, currentState)
//                                                    -> count x (eventState, atr)
//   Connect           context, reader, share, protocols -> card(u64), protocol(u32)
//   Disconnect        card, disposition              ->
//   Transmit          card, protocol, command, capacity -> response
// Test code only: this never ships.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quilta::winebridge {

enum class Op : uint8_t {
  EstablishContext = 1,
  ReleaseContext,
  ListReaders,
  GetStatusChange,
  Connect,
  Disconnect,
  Transmit,
};

inline constexpr uint32_t kMaxFrame = 1u << 20;
inline constexpr uint32_t kMaxResponse = 65538;  // short and extended APDU answers

class Writer {
 public:
  Writer& U8(uint8_t v) { return Raw(&v, 1); }
  Writer& U32(uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return Raw(b, 4);
  }
  Writer& U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    return U32(static_cast<uint32_t>(v >> 32));
  }
  Writer& Bytes(const void* p, uint32_t n) {
    U32(n);
    return Raw(p, n);
  }
  Writer& Str(const std::string& s) { return Bytes(s.data(), static_cast<uint32_t>(s.size())); }
  // The frame: length, then the bytes.
  std::vector<uint8_t> Frame() const {
    std::vector<uint8_t> f(4);
    const uint32_t n = static_cast<uint32_t>(body_.size());
    for (int i = 0; i < 4; ++i) f[i] = static_cast<uint8_t>(n >> (8 * i));
    f.insert(f.end(), body_.begin(), body_.end());
    return f;
  }

 private:
  Writer& Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    body_.insert(body_.end(), b, b + n);
    return *this;
  }
  std::vector<uint8_t> body_;
};

// Reads fields of one frame's body; a read past the end sets !ok() and gives zeros.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& body) : b_(body) {}
  bool ok() const { return ok_; }
  uint8_t U8() { return Need(1) ? b_[pos_++] : 0; }
  uint32_t U32() {
    if (!Need(4)) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return v;
  }
  uint64_t U64() {
    const uint64_t lo = U32();
    return lo | (static_cast<uint64_t>(U32()) << 32);
  }
  std::string Str() {
    const uint32_t n = U32();
    if (!Need(n)) return {};
    std::string s(reinterpret_cast<const char*>(b_.data() + pos_), n);
    pos_ += n;
    return s;
  }

 private:
  bool Need(size_t n) {
    if (!ok_ || b_.size() - pos_ < n) ok_ = false;
    return ok_;
  }
  const std::vector<uint8_t>& b_;
  size_t pos_ = 0;
  bool ok_ = true;
};

inline uint32_t FrameLength(const uint8_t head[4]) {
  return static_cast<uint32_t>(head[0]) | static_cast<uint32_t>(head[1]) << 8 |
         static_cast<uint32_t>(head[2]) << 16 | static_cast<uint32_t>(head[3]) << 24;
}

}  // namespace quilta::winebridge
