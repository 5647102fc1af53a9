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
// This protocol depends on nothing beyond the standard library and the template's own kinds
// (ui/dialog_template.h, standard library only) so that both sides and the tests share it
// (dialog_wire.cpp, the library quilta_dialog_wire).
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
  Writer& Str(std::string_view s);
  // The finished frame (length prefix filled in).
  std::vector<uint8_t> Frame();

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
  std::string Str();

 private:
  uint64_t Le(size_t bytes);
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Splits a byte stream into frames. Feed what the socket gave; take frames while Next()
// answers Frame.
class FrameSplitter {
 public:
  enum class Result { Frame, NeedMore, Broken };

  void Feed(const uint8_t* data, size_t n);

  // On Frame, type and body (the fields after the type byte) describe the frame; they stay
  // valid until the next Feed.
  Result Next(Msg& type, std::span<const uint8_t>& body);

 private:
  std::vector<uint8_t> buf_;
  size_t consumed_ = 0;
  bool broken_ = false;
};

// ---- messages with structure ----

std::vector<uint8_t> EncodeOpen(const OpenMsg& m);
// nullopt for a malformed Open: short, trailing bytes, too many controls, unknown kind or
// colour, or a position or size outside 0..kMaxDialogUnits.
std::optional<OpenMsg> DecodeOpen(std::span<const uint8_t> body);
std::vector<uint8_t> EncodeOpened(const OpenedMsg& m);
std::optional<OpenedMsg> DecodeOpened(std::span<const uint8_t> body);

}  // namespace quilta::ui::wire
