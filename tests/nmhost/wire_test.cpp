// The host's wire: native-messaging frames and the JSON reader and writer, table-driven,
// malformed input included (lengths over the limit, truncated frames, invalid UTF-8 and
// JSON).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "nmhost/frame.h"
#include "nmhost/json.h"

namespace quilta::nmhost {
namespace {

std::string Header(uint32_t len) {
  std::string h(4, '\0');
  std::memcpy(h.data(), &len, 4);
  return h;
}

struct FrameCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> frames;  // whole frames expected, in order
  FrameReader::Result end;          // what Next answers after them
  bool partial;                     // bytes of an unfinished frame are held
};

TEST(Frames, SplitsTheStreamAndRefusesLengthsOverTheLimit) {
  const std::string big(kMaxFrame, 'x');
  const std::vector<FrameCase> cases = {
      {"one frame", Header(7) + "{\"a\":1}", {"{\"a\":1}"}, FrameReader::Result::NeedMore, false},
      {"two frames in one read", Header(2) + "[]" + Header(4) + "null", {"[]", "null"},
       FrameReader::Result::NeedMore, false},
      {"an empty frame", Header(0), {""}, FrameReader::Result::NeedMore, false},
      {"a frame of the largest length", Header(kMaxFrame) + big, {big}, FrameReader::Result::NeedMore,
       false},
      {"a length one over the limit", Header(kMaxFrame + 1) + "xx", {}, FrameReader::Result::TooLong,
       false},
      {"a length of 4 GiB - 1", Header(0xFFFFFFFFu), {}, FrameReader::Result::TooLong, false},
      {"a frame cut short", Header(10) + "12345", {}, FrameReader::Result::NeedMore, true},
      {"a length cut short", std::string("\x05\x00", 2), {}, FrameReader::Result::NeedMore, true},
      {"a whole frame, then part of the next length", Header(1) + "1" + std::string("\x01", 1), {"1"},
       FrameReader::Result::NeedMore, true},
      {"a good frame before one over the limit", Header(1) + "1" + Header(kMaxFrame + 1), {"1"},
       FrameReader::Result::TooLong, false},
  };
  for (const FrameCase& c : cases) {
    // Fed at once and byte by byte: the same frames.
    for (bool byByte : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (byByte ? " (byte by byte)" : ""));
      FrameReader r;
      std::vector<std::string> got;
      std::string payload;
      FrameReader::Result last = FrameReader::Result::NeedMore;
      auto drain = [&] {
        while ((last = r.Next(&payload)) == FrameReader::Result::Frame) got.push_back(payload);
      };
      if (byByte) {
        for (char ch : c.bytes) {
          r.Feed(&ch, 1);
          drain();
          if (last == FrameReader::Result::TooLong) break;
        }
      } else {
        r.Feed(c.bytes.data(), c.bytes.size());
        drain();
      }
      EXPECT_EQ(got, c.frames);
      EXPECT_EQ(last, c.end);
      EXPECT_EQ(r.HasPartial(), c.partial);
      if (c.end == FrameReader::Result::TooLong) {
        r.Feed("more", 4);
        EXPECT_EQ(r.Next(&payload), FrameReader::Result::TooLong) << "a broken stream stays broken";
      }
    }
  }
}

TEST(Frames, EncodeWritesTheLengthInTheMachinesOrder) {
  EXPECT_EQ(EncodeFrame("{}"), Header(2) + "{}");
  EXPECT_EQ(EncodeFrame(""), Header(0));
}

struct JsonCase {
  const char* text;
  const char* written;  // WriteJson of the value read; nullptr: the text is refused
};

TEST(Json, ReadsValidTextAndWritesItBack) {
  const std::vector<JsonCase> cases = {
      {R"({"id":1,"op":"get","name":"ErrorInfo"})", R"({"id":1,"op":"get","name":"ErrorInfo"})"},
      {" \t\r\n{ \"a\" : [ 1 , 2.5 , -0.5e1 , 1E2 ] } \n", R"({"a":[1,2.5,-5,100]})"},
      {"[true,false,null,{},[]]", "[true,false,null,{},[]]"},
      {"-0", "0"},  // as JavaScript prints it
      {"1e21", "1e+21"},
      {"0.000001", "0.000001"},
      {R"("\"\\\/\b\f\n\r\t")", R"("\"\\/\u0008\u000c\n\r\t")"},
      {R"("\u00e9\u8B80")", "\"\xC3\xA9\xE8\xAE\x80\""},
      {"\"\xE8\xAE\x80\xF0\x9F\x98\x80\"", "\"\xE8\xAE\x80\xF0\x9F\x98\x80\""},  // raw UTF-8 kept
      {R"("\ud83d\ude00")", "\"\xF0\x9F\x98\x80\""},  // a surrogate pair is one character
      {R"("\ud83d")", "\"\xEF\xBF\xBD\""},            // lone surrogates read as U+FFFD
      {R"("\ude00x")", "\"\xEF\xBF\xBDx\""},
      {R"("\ud83d\u0041")", "\"\xEF\xBF\xBD" "A\""},
      {R"("\u0000")", R"("\u0000")"},
  };
  for (const JsonCase& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    std::optional<Json> v = ParseJson(c.text, &error);
    ASSERT_TRUE(v) << error;
    EXPECT_EQ(WriteJson(*v), c.written);
  }
}

TEST(Json, RefusesMalformedText) {
  const std::vector<std::string> cases = {
      "", " ", "{", "}", "[1,]", R"({"a":1,})", R"({"a" 1})", "{'a':1}", R"({a:1})", "01", "1.",
      ".5", "-", "1e", "1e+", "+1", "NaN", "Infinity", "-Infinity", "1e400", "0x10", "tru", "nul",
      "True", R"({"a":1}{})", "1 2", R"({"a":1,"a":2})", "\"abc", R"("\q")", R"("\u12G4")",
      R"("\u12")", "\"a\x01" "b\"", "\"a\nb\"",
      // Invalid UTF-8: a lone byte, an overlong form, an encoded surrogate, above U+10FFFF, a
      // sequence cut short, a lone continuation byte, a byte never used.
      "\"\xFF\"", "\"\xC0\xAF\"", "\"\xE0\x80\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"",
      "\"\xE8\xAE\"", "\"\x80\"", "\"\xF8\x88\x80\x80\x80\"",
      std::string("\"a\0b\"", 5), std::string("{}\0", 3),
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    std::string error;
    EXPECT_FALSE(ParseJson(text, &error));
    EXPECT_FALSE(error.empty());
  }
}

// What a page could send to stall its host: deep nesting, and objects with many keys (the
// repeated-key check looks at each earlier key).
TEST(Json, NestingAndObjectSizeAreLimited) {
  std::string wide = "{";
  for (size_t i = 0; i < Json::kMaxMembers; ++i) wide += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":1";
  EXPECT_TRUE(ParseJson(wide + "}"));
  EXPECT_FALSE(ParseJson(wide + ",\"x\":1}"));
  for (int i = 0; i < 100000; ++i) wide += ",\"k" + std::to_string(i + 100) + "\":1";
  EXPECT_FALSE(ParseJson(wide + "}"));

  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(ParseJson(nested(Json::kMaxDepth)));
  EXPECT_FALSE(ParseJson(nested(Json::kMaxDepth + 1)));
  EXPECT_FALSE(ParseJson(nested(100000))) << "deep nesting is refused, not a stack overflow";
  std::string objects;
  for (int i = 0; i <= Json::kMaxDepth; ++i) objects += "{\"a\":";
  objects += "1" + std::string(Json::kMaxDepth + 1, '}');
  EXPECT_FALSE(ParseJson(objects));
}

TEST(Json, WritingAlwaysGivesValidUtf8AndJson) {
  // Bytes that are not UTF-8 (never from our texts, but the writer must not pass them on:
  // a browser drops the connection on a host message that is not UTF-8).
  EXPECT_EQ(WriteJson(Json::String("a\xFF" "b\xC0\xAF")), "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(WriteJson(Json::String(std::string("\x01\x1F\x7F", 3))), "\"\\u0001\\u001f\x7F\"");
  EXPECT_EQ(WriteJson(Json::Number(std::nan(""))), "null");
  EXPECT_EQ(WriteJson(Json::Number(INFINITY)), "null");
  EXPECT_EQ(WriteJson(Json::Object({{"k\"", Json::Bool(true)}})), R"({"k\"":true})");
}

}  // namespace
}  // namespace quilta::nmhost
