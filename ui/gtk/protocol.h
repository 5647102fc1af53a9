// The wire protocol between the plug-in and the dialog helper process (quilta-dialogs).
//
// A stream socket carries frames in both directions. A frame is a 32-bit little-endian
// length followed by that many bytes: one message-type byte and the message's fields.
// Integers are little-endian; a text is a 32-bit length and that many UTF-8 bytes. Every
// field is read through a bounds-checked reader: a message that is short, carries trailing
// bytes, an unknown type or out-of-range values is dropped as a whole. A frame whose length
// is 0 or above kMaxFrame cannot be resynchronised and ends the connection.
//
// Conversation: the helper starts with Hello (its protocol version); the plug-in answers
// with Hello (its version); different versions end the conversation. Then the plug-in sends
// Open, updates, Show, MessageBox, Close and Ping. Open builds the window without showing
// it; the updates that set the dialog up follow, then Show puts it on the screen (a dialog
// that ends while being set up is never seen). The helper answers Open with Opened, MessageBox
// with MessageBoxDone, Ping with Pong (sent once the helper's windows have been painted and
// the display has caught up), and reports the person's input with Event.
//
// This header depends on nothing beyond the standard library and the template's own kinds
// (ui/dialog_template.h, standard library only) so that both sides and the tests share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog_template.h"

namespace quilta::ui::wire {

inline constexpr uint16_t kVersion = 1;
inline constexpr uint32_t kMaxFrame = 1u << 20;   // 1 MiB: far above any template
inline constexpr uint32_t kMaxText = 64u * 1024;  // one text
inline constexpr uint32_t kMaxControls = 512;
inline constexpr int kMaxDialogUnits = 2000;      // positions and sizes are clamped to this

enum class Msg : uint8_t {
  // both directions
  Hello = 1,  // u16 version
  // plug-in -> helper
  Open = 2,        // see OpenMsg
  SetText = 3,     // i32 id, text
  Enable = 4,      // i32 id, u8 enabled
  Focus = 5,       // i32 id
  MessageBox = 6,  // text, caption
  Close = 7,       // (nothing)
  Ping = 8,        // u32 token
  Show = 9,        // (nothing): shows the dialog built by Open
  // helper -> plug-in
  Opened = 64,          // u8 ok, i32 base x, i32 base y, i32 client width, i32 client height
  Event = 65,           // u8 kind, i32 id, u32 dialog (the count of Open messages so far)
  MessageBoxDone = 66,  // (nothing)
  Pong = 67,            // u32 token
};

// Events name their dialog by the number of Open messages the helper had received when the
// dialog was opened (malformed ones included), so input meant for a dialog that has since
// been replaced is recognised by the plug-in, which counts its Opens the same way.

// Event kinds on the wire; the plug-in's side reads them as the UiEvent::Kind of the same
// value (ui/remote_renderer.cpp checks that at compile time), Lost as Closed.
// Lost: the window was destroyed from outside; the dialog cannot be answered any more.
enum class EventKind : uint8_t { Command = 0, Escape = 1, CloseBox = 2, Lost = 3 };

// Control kinds and colours travel as the byte values of ControlKind and TextColour
// (ui/dialog_template.h); both sides read and write them through those enums. These are the
// values of protocol version 1: a change that moves one of them needs a new kVersion.
inline constexpr uint8_t WireValue(ControlKind k) { return static_cast<uint8_t>(k); }
inline constexpr uint8_t WireValue(TextColour c) { return static_cast<uint8_t>(c); }
static_assert(WireValue(ControlKind::Text) == 0 && WireValue(ControlKind::SunkenText) == 1 &&
              WireValue(ControlKind::CenteredText) == 2 && WireValue(ControlKind::Edit) == 3 &&
              WireValue(ControlKind::Button) == 4 && WireValue(ControlKind::DefaultButton) == 5 &&
              WireValue(ControlKind::BitmapButton) == 6);
static_assert(WireValue(TextColour::Default) == 0 && WireValue(TextColour::Warning) == 1 &&
              WireValue(TextColour::Emphasis) == 2);
inline constexpr uint8_t kMaxControlKind = WireValue(kLastControlKind);
inline constexpr uint8_t kMaxColour = WireValue(kLastTextColour);

struct ControlMsg {
  int32_t id = -1;
  uint8_t kind = 0;  // WireValue(ControlKind); DecodeOpen admits only known kinds and colours
  int16_t x = 0, y = 0, w = 0, h = 0;
  std::string text;  // UTF-8
  uint8_t colour = 0;  // WireValue(TextColour)
  bool disabled = false;
  int16_t bitmap = 0, hoverBitmap = 0;

  ControlKind Kind() const { return static_cast<ControlKind>(kind); }
  TextColour Colour() const { return static_cast<TextColour>(colour); }
};

struct OpenMsg {
  int32_t number = 0;
  int16_t width = 0, height = 0;  // dialog units
  std::string caption;            // UTF-8
  std::string fontFace;           // UTF-8
  int16_t fontPoints = 0;
  bool closeBox = false;
  bool centreOverOwner = false;
  uint64_t ownerWindow = 0;  // X11 window of the owner, 0 for none
  std::vector<ControlMsg> controls;
};

struct OpenedMsg {
  bool ok = false;
  int32_t baseX = 0, baseY = 0;  // dialog base units in pixels
  int32_t clientWidth = 0, clientHeight = 0;
};

// ---- writing ----

class Writer {
 public:
  explicit Writer(Msg type) {
    buf_.resize(4);
    buf_.push_back(static_cast<uint8_t>(type));
  }
  Writer& U8(uint8_t v) {
    buf_.push_back(v);
    return *this;
  }
  Writer& U16(uint16_t v) { return Le(v, 2); }
  Writer& I16(int16_t v) { return Le(static_cast<uint16_t>(v), 2); }
  Writer& U32(uint32_t v) { return Le(v, 4); }
  Writer& I32(int32_t v) { return Le(static_cast<uint32_t>(v), 4); }
  Writer& U64(uint64_t v) { return Le(v, 8); }
  // Texts longer than kMaxText are cut (at a character boundary) so the frame stays valid.
  Writer& Str(std::string_view s) {
    if (s.size() > kMaxText) {
      size_t n = kMaxText;
      while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
      s = s.substr(0, n);
    }
    U32(static_cast<uint32_t>(s.size()));
    buf_.insert(buf_.end(), s.begin(), s.end());
    return *this;
  }
  // The finished frame (length prefix filled in).
  std::vector<uint8_t> Frame() {
    const uint32_t n = static_cast<uint32_t>(buf_.size() - 4);
    for (int i = 0; i < 4; ++i) buf_[i] = static_cast<uint8_t>(n >> (8 * i));
    return std::move(buf_);
  }

 private:
  template <typename T>
  Writer& Le(T v, int bytes) {
    for (int i = 0; i < bytes; ++i) buf_.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> buf_;
};

// ---- reading ----

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  bool ok() const { return ok_; }
  // True when every byte was consumed and nothing overran.
  bool Done() const { return ok_ && pos_ == data_.size(); }

  uint8_t U8() { return static_cast<uint8_t>(Le(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Le(2)); }
  int16_t I16() { return static_cast<int16_t>(static_cast<uint16_t>(Le(2))); }
  uint32_t U32() { return static_cast<uint32_t>(Le(4)); }
  int32_t I32() { return static_cast<int32_t>(static_cast<uint32_t>(Le(4))); }
  uint64_t U64() { return Le(8); }
  std::string Str() {
    const uint32_t n = U32();
    if (!ok_ || n > kMaxText || n > data_.size() - pos_) {
      ok_ = false;
      return {};
    }
    std::string s(reinterpret_cast<const char*>(data_.data() + pos_), n);
    pos_ += n;
    return s;
  }

 private:
  uint64_t Le(size_t bytes) {
    if (!ok_ || bytes > data_.size() - pos_) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
    pos_ += bytes;
    return v;
  }
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Splits a byte stream into frames. Feed what the socket gave; take frames while Next()
// answers Frame.
class FrameSplitter {
 public:
  enum class Result { Frame, NeedMore, Broken };

  void Feed(const uint8_t* data, size_t n) {
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(consumed_));
    consumed_ = 0;
    buf_.insert(buf_.end(), data, data + n);
  }

  // On Frame, type and body (the fields after the type byte) describe the frame; they stay
  // valid until the next Feed.
  Result Next(Msg& type, std::span<const uint8_t>& body) {
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

 private:
  std::vector<uint8_t> buf_;
  size_t consumed_ = 0;
  bool broken_ = false;
};

// ---- messages with structure ----

inline std::vector<uint8_t> EncodeOpen(const OpenMsg& m) {
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

inline bool InDialogRange(int16_t v) { return v >= 0 && v <= kMaxDialogUnits; }

// nullopt for a malformed Open: short, trailing bytes, too many controls, unknown kind or
// colour, or a position or size outside 0..kMaxDialogUnits.
inline std::optional<OpenMsg> DecodeOpen(std::span<const uint8_t> body) {
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

inline std::vector<uint8_t> EncodeOpened(const OpenedMsg& m) {
  return Writer(Msg::Opened).U8(m.ok ? 1 : 0).I32(m.baseX).I32(m.baseY).I32(m.clientWidth).I32(m.clientHeight).Frame();
}

inline std::optional<OpenedMsg> DecodeOpened(std::span<const uint8_t> body) {
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
