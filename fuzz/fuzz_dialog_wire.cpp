// The dialog helper's wire protocol, both directions: a byte stream fed in fuzzer-chosen
// pieces through the frame splitter, every frame read as the receiving side reads it (the
// helper: Hello, Open, SetText, Enable, Focus, MessageBox, Close, Ping, Show; the plug-in:
// Hello, Opened, Event, MessageBoxDone, Pong), and the structured messages written back.
//
// Checked beyond the sanitizers: a broken stream stays broken; every frame the splitter gives
// lies inside what was fed; an Open or Opened that decodes is written back to a frame of its
// length (Open: no longer) that decodes to the same message; a Writer text cut at kMaxText stays whole
// characters.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "fuzz/check.h"

#include "ui/dialog_wire.h"

using namespace quilta::ui::wire;

namespace {

std::vector<uint8_t> FrameOf(Msg type, std::span<const uint8_t> body) {
  std::vector<uint8_t> f;
  const uint32_t n = static_cast<uint32_t>(body.size() + 1);
  for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(n >> (8 * i)));
  f.push_back(static_cast<uint8_t>(type));
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

// Reads a frame's fields as the receiving side does; the values are dropped.
void Read(Msg type, std::span<const uint8_t> body) {
  Reader r(body);
  switch (type) {
    case Msg::Hello: r.U16(); break;
    case Msg::Open: {
      if (auto m = DecodeOpen(body)) {
        const std::vector<uint8_t> again = EncodeOpen(*m);
        auto m2 = DecodeOpen(std::span<const uint8_t>(again).subspan(5));
        CHECK(m2 && EncodeOpen(*m2) == again && again.size() <= FrameOf(type, body).size());
      }
      return;
    }
    case Msg::SetText: r.I32(); r.Str(); break;
    case Msg::Enable: r.I32(); r.U8(); break;
    case Msg::Focus: r.I32(); break;
    case Msg::MessageBox: r.Str(); r.Str(); break;
    case Msg::Ping:
    case Msg::Pong: r.U32(); break;
    case Msg::Opened: {
      if (auto m = DecodeOpened(body)) {
        const std::vector<uint8_t> again = EncodeOpened(*m);
        auto m2 = DecodeOpened(std::span<const uint8_t>(again).subspan(5));
        CHECK(m2 && EncodeOpened(*m2) == again && again.size() == FrameOf(type, body).size());
      }
      return;
    }
    case Msg::Event: r.U8(); r.I32(); r.U32(); break;
    default: break;
  }
  // ok() and Done() agree with what was read.
  CHECK(!r.Done() || r.ok());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // A text of the writer: any bytes, possibly longer than kMaxText.
  if (in.ConsumeBool()) {
    std::string s = in.ConsumeRandomLengthString(300);
    if (in.ConsumeBool() && !s.empty()) {
      std::string big;
      while (big.size() <= kMaxText) big += s;
      s = big;
    }
    std::vector<uint8_t> f = Writer(Msg::SetText).I32(1).Str(s).Frame();
    Reader r(std::span<const uint8_t>(f).subspan(5));
    r.I32();
    const std::string back = r.Str();
    CHECK(r.Done() && back.size() <= kMaxText && s.compare(0, back.size(), back) == 0);
    if (back.size() < s.size() && !back.empty()) CHECK((static_cast<uint8_t>(s[back.size()]) & 0xC0) != 0x80);
  }

  FrameSplitter splitter;
  bool broken = false;
  while (in.remaining_bytes() > 0) {
    const std::vector<uint8_t> piece = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
    splitter.Feed(piece.data(), piece.size());
    for (;;) {
      Msg type{};
      std::span<const uint8_t> body;
      const auto r = splitter.Next(type, body);
      if (r == FrameSplitter::Result::NeedMore) break;
      if (r == FrameSplitter::Result::Broken) {
        broken = true;
        break;
      }
      CHECK(!broken && body.size() < kMaxFrame);
      Read(type, body);
    }
    if (broken) {
      Msg type{};
      std::span<const uint8_t> body;
      CHECK(splitter.Next(type, body) == FrameSplitter::Result::Broken);
    }
  }
  return 0;
}
