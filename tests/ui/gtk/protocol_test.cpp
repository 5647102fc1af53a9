// The helper's wire format: what one side writes the other reads back, and whatever is
// short, long or out of range is refused as a whole.
#include <gtest/gtest.h>

#include "ui/dialog_wire.h"

namespace quilta::ui::wire {
namespace {

OpenMsg SampleOpen() {
  OpenMsg m;
  m.number = 104;
  m.width = 260;
  m.height = 199;
  m.caption = "轉帳確認";
  m.fontFace = "標楷體";
  m.fontPoints = 14;
  m.closeBox = false;
  m.centreOverOwner = true;
  m.ownerWindow = 0x1234567890ull;
  m.controls.push_back({211, 0, 5, 161, 16, 9, "您有", 1, false, 0, 0});
  m.controls.push_back({217, 6, 56, 99, 13, 13, "1", 0, false, 732, 743});
  m.controls.push_back({216, 2, 89, 85, 14, 10, "", 0, true, 0, 0});
  return m;
}

std::span<const uint8_t> BodyOf(const std::vector<uint8_t>& frame) { return {frame.data() + 5, frame.size() - 5}; }

TEST(WireProtocol, OpenRoundTripKeepsEveryField) {
  const OpenMsg m = SampleOpen();
  const auto frame = EncodeOpen(m);
  ASSERT_EQ(frame[4], static_cast<uint8_t>(Msg::Open));
  const auto back = DecodeOpen(BodyOf(frame));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->number, 104);
  EXPECT_EQ(back->caption, "轉帳確認");
  EXPECT_EQ(back->fontFace, "標楷體");
  EXPECT_TRUE(back->centreOverOwner);
  EXPECT_EQ(back->ownerWindow, 0x1234567890ull);
  ASSERT_EQ(back->controls.size(), 3u);
  EXPECT_EQ(back->controls[1].bitmap, 732);
  EXPECT_EQ(back->controls[1].hoverBitmap, 743);
  EXPECT_EQ(back->controls[0].colour, 1);
  EXPECT_TRUE(back->controls[2].disabled);
  EXPECT_EQ(back->controls[0].text, "您有");
}

TEST(WireProtocol, EveryTruncationAndTrailingByteIsRefused) {
  const auto frame = EncodeOpen(SampleOpen());
  const auto body = BodyOf(frame);
  for (size_t n = 0; n < body.size(); ++n) EXPECT_FALSE(DecodeOpen(body.first(n))) << "length " << n;
  std::vector<uint8_t> longer(body.begin(), body.end());
  longer.push_back(0);
  EXPECT_FALSE(DecodeOpen(longer));
}

TEST(WireProtocol, OutOfRangeValuesAreRefused) {
  auto bad = [](auto change) {
    OpenMsg m = SampleOpen();
    change(m);
    const auto frame = EncodeOpen(m);
    return !DecodeOpen(BodyOf(frame)).has_value();
  };
  EXPECT_TRUE(bad([](OpenMsg& m) { m.controls[0].kind = 7; }));
  EXPECT_TRUE(bad([](OpenMsg& m) { m.controls[0].colour = 3; }));
  EXPECT_TRUE(bad([](OpenMsg& m) { m.controls[0].x = -1; }));
  EXPECT_TRUE(bad([](OpenMsg& m) { m.controls[0].w = 20000; }));
  EXPECT_TRUE(bad([](OpenMsg& m) { m.width = -5; }));
  EXPECT_TRUE(bad([](OpenMsg& m) { m.fontPoints = 0; }));

  // A text length that points past the message.
  auto frame = EncodeOpen(SampleOpen());
  std::vector<uint8_t> body(frame.begin() + 5, frame.end());
  body[8] = 0xFF;  // low byte of the caption's length
  body[11] = 0x7F;
  EXPECT_FALSE(DecodeOpen(body));
}

TEST(WireProtocol, SplitterReassemblesFramesAndGivesUpOnImpossibleLengths) {
  auto a = Writer(Msg::SetText).I32(216).Str("678").Frame();
  auto b = Writer(Msg::Ping).U32(7).Frame();
  std::vector<uint8_t> stream(a);
  stream.insert(stream.end(), b.begin(), b.end());

  FrameSplitter s;
  Msg type;
  std::span<const uint8_t> body;
  std::vector<Msg> seen;
  for (uint8_t byte : stream) {  // one byte at a time, the worst a socket can do
    s.Feed(&byte, 1);
    while (s.Next(type, body) == FrameSplitter::Result::Frame) {
      seen.push_back(type);
      if (type == Msg::Ping) {
        Reader r(body);
        EXPECT_EQ(r.U32(), 7u);
        EXPECT_TRUE(r.Done());
      }
    }
  }
  EXPECT_EQ(seen, (std::vector<Msg>{Msg::SetText, Msg::Ping}));

  for (uint32_t len : {0u, kMaxFrame + 1, 0xFFFFFFFFu}) {
    FrameSplitter broken;
    const uint8_t head[4] = {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len >> 16),
                             static_cast<uint8_t>(len >> 24)};
    broken.Feed(head, 4);
    EXPECT_EQ(broken.Next(type, body), FrameSplitter::Result::Broken) << len;
  }
}

TEST(WireProtocol, OverlongTextIsCutAtACharacterBoundary) {
  std::string text;
  while (text.size() <= kMaxText) text += "確";  // three bytes each
  const auto frame = Writer(Msg::SetText).I32(1).Str(text).Frame();
  Reader r(BodyOf(frame));
  EXPECT_EQ(r.I32(), 1);
  const std::string cut = r.Str();
  EXPECT_TRUE(r.Done());
  EXPECT_LE(cut.size(), kMaxText);
  EXPECT_EQ(cut.size() % 3, 0u);
}

}  // namespace
}  // namespace quilta::ui::wire
