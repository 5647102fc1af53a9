// The browser's native-messaging frames: a 4-byte length in the machine's byte order, then
// that many bytes of UTF-8 JSON. Both directions use them; stdout carries nothing else.
//
// FrameReader splits the bytes read from stdin into frames. A length above kMaxFrame is a
// broken or hostile stream: the reader stops there for good (the host answers once and
// ends the session; it cannot find the next frame boundary without trusting that length).
// A request may carry a PIN: the reader wipes every byte it held once a frame is taken off,
// and all it still holds when it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quilta::nmhost {

// The longest frame taken from the browser. A request is a member name and at most a few
// short texts; 1 MiB is far beyond any of them and also the most a browser takes from a host.
inline constexpr uint32_t kMaxFrame = 1u << 20;

class FrameReader {
 public:
  enum class Result { Frame, NeedMore, TooLong };

  FrameReader() = default;
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;
  ~FrameReader();

  void Feed(const char* data, size_t size);
  // The next whole frame's payload into *payload (Frame), NeedMore, or TooLong (and TooLong
  // on every later call). The caller wipes *payload when done with it.
  Result Next(std::string* payload);
  // Bytes of an unfinished frame are held (at the end of input: a truncated frame).
  bool HasPartial() const { return buf_.size() > pos_; }

 private:
  std::string buf_;
  size_t pos_ = 0;  // start of the next frame in buf_
  bool broken_ = false;
};

// The frame carrying `payload`: its length, then its bytes.
std::string EncodeFrame(std::string_view payload);

}  // namespace quilta::nmhost
