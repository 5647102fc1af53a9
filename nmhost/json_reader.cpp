// The JSON reader (json.h): strict RFC 8259, wiping whatever a failed read had made.
#include "nmhost/json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "base/secret.h"
#include "nmhost/json_utf8.h"

namespace quilta::nmhost {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  std::optional<Json> Document() {
    SkipSpace();
    std::optional<Json> v = Value(0);
    if (!v) return std::nullopt;
    SkipSpace();
    if (pos_ != s_.size()) return Fail("text after the value");
    return v;
  }

  const std::string& error() const { return error_; }

 private:
  std::nullopt_t Fail(const char* why) {
    if (error_.empty()) error_ = std::string(why) + " at byte " + std::to_string(pos_);
    return std::nullopt;
  }
  bool AtEnd() const { return pos_ >= s_.size(); }
  char Peek() const { return s_[pos_]; }
  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
      ++pos_;
  }
  bool Literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<Json> Value(int depth) {
    if (AtEnd()) return Fail("unexpected end");
    switch (Peek()) {
      case '{':
        return ObjectValue(depth + 1);
      case '[':
        return ArrayValue(depth + 1);
      case '"': {
        std::optional<std::string> str = StringValue();
        if (!str) return std::nullopt;  // moved whole into the value below
        return Json::String(std::move(*str));
      }
      case 't':
        if (Literal("true")) return Json::Bool(true);
        return Fail("bad literal");
      case 'f':
        if (Literal("false")) return Json::Bool(false);
        return Fail("bad literal");
      case 'n':
        if (Literal("null")) return Json::Null();
        return Fail("bad literal");
      default:
        return NumberValue();
    }
  }

  // Wipes a value being read unless the read succeeds.
  struct WipeUnlessKept {
    Json& value;
    bool kept = false;
    ~WipeUnlessKept() {
      if (!kept) value.Wipe();
    }
  };

  std::optional<Json> ObjectValue(int depth) {
    if (depth > Json::kMaxDepth) return Fail("nested too deeply");
    ++pos_;  // {
    Json obj;
    obj.kind = Json::Kind::Object;
    obj.members.reserve(Json::kMaxMembers);  // never moved: no copies of short texts left
    WipeUnlessKept guard{obj};
    SkipSpace();
    if (!AtEnd() && Peek() == '}') {
      ++pos_;
      guard.kept = true;
      return obj;
    }
    for (;;) {
      SkipSpace();
      if (AtEnd() || Peek() != '"') return Fail("expected a key");
      if (obj.members.size() == Json::kMaxMembers) return Fail("too many members");
      std::optional<std::string> key = StringValue();
      if (!key) return std::nullopt;
      const bool repeated = obj.Find(*key) != nullptr;  // at most kMaxMembers looks
      obj.members.emplace_back(std::move(*key), Json());
      if (repeated) return Fail("repeated key");
      SkipSpace();
      if (AtEnd() || Peek() != ':') return Fail("expected ':'");
      ++pos_;
      SkipSpace();
      std::optional<Json> v = Value(depth);
      if (!v) return std::nullopt;
      obj.members.back().second = std::move(*v);
      SkipSpace();
      if (AtEnd()) return Fail("unexpected end");
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == '}') {
        ++pos_;
        guard.kept = true;
        return obj;
      }
      return Fail("expected ',' or '}'");
    }
  }

  // Appends to an array without leaving copies behind: when the items must move to a larger
  // block, the old block is wiped.
  static void Append(Json* arr, Json&& v) {
    std::vector<Json>& items = arr->items;
    if (items.size() == items.capacity()) {
      std::vector<Json> larger;
      larger.reserve(std::max<size_t>(8, 2 * items.capacity()));
      for (Json& item : items) larger.push_back(std::move(item));
      for (Json& item : items) item.Wipe();
      items.swap(larger);
    }
    items.push_back(std::move(v));
  }

  std::optional<Json> ArrayValue(int depth) {
    if (depth > Json::kMaxDepth) return Fail("nested too deeply");
    ++pos_;  // [
    Json arr;
    arr.kind = Json::Kind::Array;
    WipeUnlessKept guard{arr};
    SkipSpace();
    if (!AtEnd() && Peek() == ']') {
      ++pos_;
      guard.kept = true;
      return arr;
    }
    for (;;) {
      SkipSpace();
      std::optional<Json> v = Value(depth);
      if (!v) return std::nullopt;
      Append(&arr, std::move(*v));
      SkipSpace();
      if (AtEnd()) return Fail("unexpected end");
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == ']') {
        ++pos_;
        guard.kept = true;
        return arr;
      }
      return Fail("expected ',' or ']'");
    }
  }

  std::optional<uint32_t> Hex4() {
    if (pos_ + 4 > s_.size()) return std::nullopt;
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s_[pos_ + k];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<uint32_t>(c - 'A' + 10);
      else return std::nullopt;
    }
    pos_ += 4;
    return v;
  }

  // Bytes up to the closing quote of the string starting at pos_ (its text is no longer).
  size_t RawLength() const {
    size_t i = pos_;
    while (i < s_.size() && s_[i] != '"') i += s_[i] == '\\' ? 2 : 1;
    return std::min(i, s_.size()) - pos_;
  }

  std::optional<std::string> StringValue() {
    ++pos_;  // opening quote
    std::string out;
    out.reserve(RawLength());  // never reallocated: no copy of the text left behind
    struct WipeOnFailure {
      std::string& s;
      bool done = false;
      ~WipeOnFailure() {
        if (!done) WipeString(s);
      }
    } guard{out};
    for (;;) {
      if (AtEnd()) return Fail("unterminated string");
      const unsigned char c = static_cast<unsigned char>(Peek());
      if (c == '"') {
        ++pos_;
        guard.done = true;
        return out;
      }
      if (c < 0x20) return Fail("control character in a string");
      if (c == '\\') {
        if (!Escape(&out)) return std::nullopt;
        continue;
      }
      const size_t len = utf8::SequenceLength(s_, pos_);
      if (len == 0) return Fail("invalid UTF-8");
      out.append(s_.substr(pos_, len));
      pos_ += len;
    }
  }

  bool Escape(std::string* out) {
    ++pos_;  // backslash
    if (AtEnd()) return Fail("unterminated string"), false;
    const char e = Peek();
    ++pos_;
    switch (e) {
      case '"': out->push_back('"'); return true;
      case '\\': out->push_back('\\'); return true;
      case '/': out->push_back('/'); return true;
      case 'b': out->push_back('\b'); return true;
      case 'f': out->push_back('\f'); return true;
      case 'n': out->push_back('\n'); return true;
      case 'r': out->push_back('\r'); return true;
      case 't': out->push_back('\t'); return true;
      case 'u': break;
      default: return Fail("bad escape"), false;
    }
    std::optional<uint32_t> u = Hex4();
    if (!u) return Fail("bad \\u escape"), false;
    uint32_t cp = *u;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      // A high surrogate counts only with the low one in the next escape.
      const size_t save = pos_;
      std::optional<uint32_t> low;
      if (s_.substr(pos_, 2) == "\\u") {
        pos_ += 2;
        low = Hex4();
      }
      if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
      } else {
        pos_ = save;  // the next escape is read on its own
        cp = utf8::kReplacement;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = utf8::kReplacement;
    }
    utf8::Append(out, cp);
    return true;
  }

  std::optional<Json> NumberValue() {
    const size_t start = pos_;
    const auto digits = [&] {
      const size_t from = pos_;
      while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++pos_;
      return pos_ - from;
    };
    if (!AtEnd() && Peek() == '-') ++pos_;
    if (AtEnd()) return Fail("bad number");
    if (Peek() == '0') {
      ++pos_;
    } else if (digits() == 0) {
      return Fail("unexpected character");
    }
    if (!AtEnd() && Peek() == '.') {
      ++pos_;
      if (digits() == 0) return Fail("bad number");
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      ++pos_;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++pos_;
      if (digits() == 0) return Fail("bad number");
    }
    double x = 0;
    const char* first = s_.data() + start;
    const char* last = s_.data() + pos_;
    auto [ptr, ec] = std::from_chars(first, last, x);
    if (ec != std::errc() || ptr != last || !std::isfinite(x)) return Fail("number out of range");
    return Json::Number(x);
  }

  std::string_view s_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

std::optional<Json> ParseJson(std::string_view text, std::string* error) {
  Parser p(text);
  std::optional<Json> v = p.Document();  // a failed branch's values are wiped as they go
  if (!v && error) *error = p.error();
  return v;
}

}  // namespace quilta::nmhost
