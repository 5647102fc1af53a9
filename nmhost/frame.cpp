#include "nmhost/frame.h"

#include <algorithm>
#include <cstring>

#include "base/secret.h"

namespace quilta::nmhost {
namespace {

// Drops the first n bytes; what moved down leaves no copy in the tail.
void WipeFront(std::string* buf, size_t n) {
  WipeBytes(buf->data(), n);
  const size_t keep = buf->size() - n;
  std::memmove(buf->data(), buf->data() + n, keep);
  WipeBytes(buf->data() + keep, n);
  buf->resize(keep);
}

}  // namespace

FrameReader::~FrameReader() { WipeString(buf_); }

void FrameReader::Feed(const char* data, size_t size) {
  if (buf_.size() + size > buf_.capacity()) {
    // Grown by hand: a reallocation would free the old bytes unwiped.
    std::string larger;
    larger.reserve(std::max(buf_.size() + size, 2 * buf_.capacity()));
    larger.append(buf_);
    WipeString(buf_);
    buf_.swap(larger);
  }
  buf_.append(data, size);
}

FrameReader::Result FrameReader::Next(std::string* payload) {
  if (broken_) return Result::TooLong;
  const size_t avail = buf_.size() - pos_;
  uint32_t len = 0;
  if (avail >= sizeof len) std::memcpy(&len, buf_.data() + pos_, sizeof len);
  if (avail >= sizeof len && len > kMaxFrame) {
    broken_ = true;
    WipeString(buf_);
    pos_ = 0;
    return Result::TooLong;
  }
  if (avail < sizeof len || avail - sizeof len < len) {
    // Keep only what is not consumed yet (consumed frames were wiped when taken).
    if (pos_ > 0) {
      WipeFront(&buf_, pos_);
      pos_ = 0;
    }
    return Result::NeedMore;
  }
  payload->reserve(len);
  payload->assign(buf_, pos_ + sizeof len, len);
  WipeBytes(buf_.data() + pos_, sizeof len + len);
  pos_ += sizeof len + len;
  if (pos_ == buf_.size()) {
    buf_.clear();
    pos_ = 0;
  }
  return Result::Frame;
}

std::string EncodeFrame(std::string_view payload) {
  const auto len = static_cast<uint32_t>(payload.size());
  std::string out(sizeof len, '\0');
  std::memcpy(out.data(), &len, sizeof len);
  out.append(payload);
  return out;
}

}  // namespace quilta::nmhost
