#include "nmhost/frame.h"

#include <cstring>

namespace quilta::nmhost {

FrameReader::Result FrameReader::Next(std::string* payload) {
  if (broken_) return Result::TooLong;
  const size_t avail = buf_.size() - pos_;
  uint32_t len = 0;
  if (avail >= sizeof len) std::memcpy(&len, buf_.data() + pos_, sizeof len);
  if (avail >= sizeof len && len > kMaxFrame) {
    broken_ = true;
    buf_.clear();
    pos_ = 0;
    return Result::TooLong;
  }
  if (avail < sizeof len || avail - sizeof len < len) {
    // Keep only what is not consumed yet.
    if (pos_ > 0) {
      buf_.erase(0, pos_);
      pos_ = 0;
    }
    return Result::NeedMore;
  }
  payload->assign(buf_, pos_ + sizeof len, len);
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
