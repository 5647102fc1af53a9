#include "ui/dialog_wire.h"

namespace quilta::ui::wire {

// ---- writing ----

Writer& Writer::Str(std::string_view s) {
  if (s.size() > kMaxText) {
    size_t n = kMaxText;
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
    s = s.substr(0, n);
  }
  U32(static_cast<uint32_t>(s.size()));
  buf_.insert(buf_.end(), s.begin(), s.end());
  return *this;
}

std::vector<uint8_t> Writer::Frame() {
  const uint32_t n = static_cast<uint32_t>(buf_.size() - 4);
  for (int i = 0; i < 4; ++i) buf_[i] = static_cast<uint8_t>(n >> (8 * i));
  return std::move(buf_);
}

// ---- reading ----

std::string Reader::Str() {
  const uint32_t n = U32();
  if (!ok_ || n > kMaxText || n > data_.size() - pos_) {
    ok_ = false;
    return {};
  }
  std::string s(reinterpret_cast<const char*>(data_.data() + pos_), n);
  pos_ += n;
  return s;
}

uint64_t Reader::Le(size_t bytes) {
  if (!ok_ || bytes > data_.size() - pos_) {
    ok_ = false;
    return 0;
  }
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
  pos_ += bytes;
  return v;
}

void FrameSplitter::Feed(const uint8_t* data, size_t n) {
  buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(consumed_));
  consumed_ = 0;
  buf_.insert(buf_.end(), data, data + n);
}

FrameSplitter::Result FrameSplitter::Next(Msg& type, std::span<const uint8_t>& body) {
  if (broken_) return Result::Broken;
  const size_t avail = buf_.size() - consumed_;
  if (avail < 4) return Result::NeedMore;
  const uint8_t* p = buf_.data() + consumed_;
  const uint32_t len = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  if (len == 0 || len > kMaxFrame) {
    broken_ = true;
    return Result::Broken;
  }
  if (avail - 4 < len) return Result::NeedMore;
  type = static_cast<Msg>(p[4]);
  body = std::span<const uint8_t>(p + 5, len - 1);
  consumed_ += 4 + len;
  return Result::Frame;
}

// ---- messages with structure ----

namespace {

bool InDialogRange(int16_t v) { return v >= 0 && v <= kMaxDialogUnits; }

}  // namespace

std::vector<uint8_t> EncodeOpen(const OpenMsg& m) {
  Writer w(Msg::Open);
  w.I32(m.number).I16(m.width).I16(m.height).Str(m.caption).Str(m.fontFace).I16(m.fontPoints);
  w.U8(m.closeBox ? 1 : 0).U8(m.centreOverOwner ? 1 : 0).U64(m.ownerWindow);
  const size_t count = m.controls.size() < kMaxControls ? m.controls.size() : kMaxControls;
  w.U16(static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    const ControlMsg& c = m.controls[i];
    w.I32(c.id).U8(c.kind).I16(c.x).I16(c.y).I16(c.w).I16(c.h).Str(c.text).U8(c.colour);
    w.U8(c.disabled ? 1 : 0).I16(c.bitmap).I16(c.hoverBitmap);
  }
  return w.Frame();
}

std::optional<OpenMsg> DecodeOpen(std::span<const uint8_t> body) {
  Reader r(body);
  OpenMsg m;
  m.number = r.I32();
  m.width = r.I16();
  m.height = r.I16();
  m.caption = r.Str();
  m.fontFace = r.Str();
  m.fontPoints = r.I16();
  m.closeBox = r.U8() != 0;
  m.centreOverOwner = r.U8() != 0;
  m.ownerWindow = r.U64();
  const uint16_t count = r.U16();
  if (!r.ok() || count > kMaxControls) return std::nullopt;
  if (!InDialogRange(m.width) || !InDialogRange(m.height) || m.fontPoints < 1 || m.fontPoints > 200)
    return std::nullopt;
  m.controls.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    ControlMsg c;
    c.id = r.I32();
    c.kind = r.U8();
    c.x = r.I16();
    c.y = r.I16();
    c.w = r.I16();
    c.h = r.I16();
    c.text = r.Str();
    c.colour = r.U8();
    c.disabled = r.U8() != 0;
    c.bitmap = r.I16();
    c.hoverBitmap = r.I16();
    if (!r.ok() || c.kind > kMaxControlKind || c.colour > kMaxColour) return std::nullopt;
    if (!InDialogRange(c.x) || !InDialogRange(c.y) || !InDialogRange(c.w) || !InDialogRange(c.h))
      return std::nullopt;
    m.controls.push_back(std::move(c));
  }
  if (!r.Done()) return std::nullopt;
  return m;
}

std::vector<uint8_t> EncodeOpened(const OpenedMsg& m) {
  return Writer(Msg::Opened)
      .U8(m.ok ? 1 : 0)
      .I32(m.baseX)
      .I32(m.baseY)
      .I32(m.clientWidth)
      .I32(m.clientHeight)
      .Frame();
}

std::optional<OpenedMsg> DecodeOpened(std::span<const uint8_t> body) {
  Reader r(body);
  OpenedMsg m;
  m.ok = r.U8() != 0;
  m.baseX = r.I32();
  m.baseY = r.I32();
  m.clientWidth = r.I32();
  m.clientHeight = r.I32();
  if (!r.Done()) return std::nullopt;
  return m;
}

}  // namespace quilta::ui::wire
