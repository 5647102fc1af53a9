#include <gtest/gtest.h>

#include "base/hex.h"
#include "base/text.h"

namespace quilta {
namespace {

TEST(Text, Cp950RoundTripAndLengths) {
  Text chinese = u"標楷體";
  std::string narrow = ToNarrow(chinese);
  EXPECT_EQ(narrow, "\xbc\xd0\xb7\xa2\xc5\xe9");
  EXPECT_EQ(FromNarrow(narrow), chinese);
  EXPECT_EQ(NarrowLength(u"A標"), 3u);
  EXPECT_EQ(NarrowLength(u"plain"), 5u);
}

TEST(Text, BytesInvalidInTheCodePageSurviveARoundTrip) {
  std::string raw("\x81\xff\x30\xa4", 4);  // 0x81 0xFF is no Big5 character
  Text t = FromNarrow(raw);
  EXPECT_EQ(ToNarrow(t), raw);
  // ...and reach the page as valid UTF-8.
  std::string utf8 = ToUtf8(t);
  EXPECT_EQ(FromUtf8(utf8).find(u'\uFFFD'), 0u);
}

// Pairs whose character the code page's converter writes back with other bytes: the
// Hangzhou numerals ten and thirty, and box-drawing characters repeated in the extension.
TEST(Text, EveryByteStringSurvivesTheNarrowRoundTrip) {
  struct Pair {
    const char* bytes;
    std::u16string text;  // as the page sees it
  };
  const Pair pairs[] = {
      {"\xA2\xCC", u"\u3038"},       {"\xA2\xCE", u"\u303A"},
      {"\xF9\xE9", u"\xDCF9\xDCE9"}, {"\xF9\xEA", u"\xDCF9\xDCEA"}, {"\xF9\xEB", u"\xDCF9\xDCEB"},
      {"\xF9\xF9", u"\xDCF9\xDCF9"}, {"\xF9\xFA", u"\xDCF9\xDCFA"}, {"\xF9\xFB", u"\xDCF9\xDCFB"},
      {"\xF9\xFC", u"\xDCF9\xDCFC"}, {"\xF9\xFD", u"\xDCF9\xDCFD"},
  };
  for (const Pair& p : pairs) {
    Text t = FromNarrow(p.bytes);
    EXPECT_EQ(t, p.text) << p.bytes;
    EXPECT_EQ(ToNarrow(t), p.bytes);
    EXPECT_EQ(NarrowLength(t), 2u);
    // Kept raw as a whole pair: the next pair still reads as its character.
    EXPECT_EQ(FromNarrow(std::string(p.bytes) + "\xA4\x40"), p.text + u"\u4E00");
  }
  // The page's own ideographs and box drawing keep their usual pairs.
  EXPECT_EQ(ToNarrow(u"\u5341\u5345\u2550"), "\xA4\x51\xA4\xCA\xA2\xA4");

  // Every one- and two-byte string, and each pair behind a lone lead byte.
  for (int a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(ToNarrow(FromNarrow(one)), one) << a;
    for (int b = 0; b < 256; ++b) {
      const std::string two = one + static_cast<char>(b);
      ASSERT_EQ(ToNarrow(FromNarrow(two)), two) << a << " " << b;
      const std::string three = "\x81" + two;
      ASSERT_EQ(ToNarrow(FromNarrow(three)), three) << a << " " << b;
    }
  }
}

// Characters beyond U+FFFF whose low half falls where escape units live (U+1F480 is
// D83D DC80) are one character "?", never a raw byte; only a lone escape unit is one.
TEST(Text, PageTextNeverCarriesRawBytes) {
  for (const char* utf8 : {"\xF0\x9F\x92\x80", "\xF0\x9F\x93\xBF", "\xF4\x8F\xBF\xBF", "\xF0\x9F\x98\x80"}) {
    Text t = FromUtf8(std::string("A") + utf8 + "\xE4\xB8\x80");  // A, the character, 一
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(ToNarrow(t), "A?\xA4\x40") << utf8;
    EXPECT_EQ(NarrowLength(t), 4u);
  }
  // Surrogates spelt in UTF-8 are malformed: U+FFFD, never a lone unit.
  for (const char* utf8 : {"\xED\xB2\x80", "\xED\xB3\xBF", "\xED\xA0\xBD"}) {
    Text t = FromUtf8(utf8);
    EXPECT_EQ(t.find_first_not_of(u'\uFFFD'), Text::npos);
    EXPECT_EQ(ToNarrow(t).find_first_not_of('?'), std::string::npos);
  }
  // UTF-16 from the page: pairs stay, lone surrogates become U+FFFD.
  EXPECT_EQ(FromPageUtf16(u"\xDC80x\xD83D\xDC80\xD83D"), u"\uFFFDx\U0001F480\uFFFD");
  EXPECT_EQ(ToNarrow(FromPageUtf16(u"\xDCFF")), "?");
  // A lone escape unit from card bytes still carries its byte, next to page text too.
  Text mixed = u"\U0001F480" + FromNarrow("\x80") + u"\U0001F4FF";
  EXPECT_EQ(ToNarrow(mixed), "?\x80?");
  EXPECT_EQ(NarrowLength(mixed), 3u);
}

TEST(Text, Utf8BothWays) {
  EXPECT_EQ(FromUtf8("\xe8\xbd\x89\xe5\xb8\xb3"), u"轉帳");
  EXPECT_EQ(ToUtf8(u"轉帳"), "\xe8\xbd\x89\xe5\xb8\xb3");
  EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
  EXPECT_EQ(FromUtf8("\xf0\x9f\x98\x80"), u"\U0001F600");
  EXPECT_EQ(FromUtf8("a\xc0\xafz"), u"a\uFFFD\uFFFDz");  // overlong form rejected
  EXPECT_EQ(FromUtf8("\xe8\xbd"), u"\uFFFD\uFFFD");       // cut short
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(Hex, DecodeArithmeticAndBounds) {
  uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(HexToBytes("0AFF", 2, out), 2u);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0xFF);
  EXPECT_EQ(HexToBytes("00c2", 2, out), 2u);  // lower case is right in the high nibble only
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0xC2);
  EXPECT_EQ(HexToBytes("1f", 1, out), 1u);
  EXPECT_EQ(out[0], 0x3F);  // 'f' - 0x37 = 0x2F as low nibble: 0x10 + 0x2F
  out[2] = 0xEE;
  EXPECT_EQ(HexToBytes("ABC", 4, out), 1u);  // never reads past the text
  EXPECT_EQ(out[0], 0xAB);
  EXPECT_EQ(out[1], 0xC2);                   // untouched
  EXPECT_TRUE(IsUpperHex("0AFF", 2));
  EXPECT_FALSE(IsUpperHex("0aff", 2));
  EXPECT_FALSE(IsUpperHex("0AF", 2));
}

TEST(Hex, EncodeAndTake) {
  const uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x41};
  EXPECT_EQ(BytesToHex(bytes, 2), "0AFF");
  EXPECT_EQ(BytesToHex(bytes, 4), "0AFF0041");
  const uint8_t area[] = {'x', '1', '2', 0, '4'};
  EXPECT_EQ(TakeBytes(area, 1, 2), "12");
  EXPECT_EQ(TakeBytes(area, 1, 4), "12");  // a zero byte ends the text
  EXPECT_EQ(TakeBytes(area, 0, 0), "");
  EXPECT_EQ(TakeBytes(area, 0, -3), "");
}

}  // namespace
}  // namespace quilta
