#include "nmhost/json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "base/js_number.h"
#include "base/secret.h"

namespace quilta::nmhost {
namespace {

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 when it is not one.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (size_t k = 2; k < len; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return len;
}

void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

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
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++pos_;
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
      const size_t len = Utf8SequenceLength(s_, pos_);
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
        cp = kReplacement;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
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

void WriteString(std::string* out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      const size_t len = Utf8SequenceLength(s, i);
      if (len == 0) {
        AppendUtf8(out, kReplacement);
        ++i;
      } else {
        out->append(s.substr(i, len));
        i += len;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      default:
        if (c < 0x20) {
          out->append("\\u00");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 0xF]);
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
  out->push_back('"');
}

void Write(std::string* out, const Json& v) {
  switch (v.kind) {
    case Json::Kind::Null:
      out->append("null");
      return;
    case Json::Kind::Bool:
      out->append(v.boolean ? "true" : "false");
      return;
    case Json::Kind::Number: {
      std::optional<std::string> t = JsNumberToString(v.number);
      out->append(t ? *t : "null");
      return;
    }
    case Json::Kind::String:
      WriteString(out, v.string);
      return;
    case Json::Kind::Array:
      out->push_back('[');
      for (size_t i = 0; i < v.items.size(); ++i) {
        if (i) out->push_back(',');
        Write(out, v.items[i]);
      }
      out->push_back(']');
      return;
    case Json::Kind::Object:
      out->push_back('{');
      for (size_t i = 0; i < v.members.size(); ++i) {
        if (i) out->push_back(',');
        WriteString(out, v.members[i].first);
        out->push_back(':');
        Write(out, v.members[i].second);
      }
      out->push_back('}');
      return;
  }
}

}  // namespace

Json::Json() = default;
Json::Json(const Json&) = default;
Json::Json(Json&&) noexcept = default;
Json& Json::operator=(const Json&) = default;
Json& Json::operator=(Json&&) noexcept = default;
Json::~Json() = default;

Json Json::Bool(bool b) {
  Json v;
  v.kind = Kind::Bool;
  v.boolean = b;
  return v;
}

Json Json::Number(double x) {
  Json v;
  v.kind = Kind::Number;
  v.number = x;
  return v;
}

Json Json::String(std::string utf8) {
  Json v;
  v.kind = Kind::String;
  v.string = std::move(utf8);
  return v;
}

Json Json::Object(std::vector<std::pair<std::string, Json>> members) {
  Json v;
  v.kind = Kind::Object;
  v.members = std::move(members);
  return v;
}

void Json::Wipe() {
  WipeString(string);
  for (Json& item : items) item.Wipe();
  for (auto& [key, value] : members) {
    WipeString(key);
    value.Wipe();
  }
  items.clear();
  members.clear();
  WipeBytes(&number, sizeof number);
  boolean = false;
  kind = Kind::Null;
}

const Json* Json::Find(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (const auto& [k, v] : members)
    if (k == key) return &v;
  return nullptr;
}

std::optional<Json> ParseJson(std::string_view text, std::string* error) {
  Parser p(text);
  std::optional<Json> v = p.Document();  // a failed branch's values are wiped as they go
  if (!v && error) *error = p.error();
  return v;
}

std::string WriteJson(const Json& value) {
  std::string out;
  Write(&out, value);
  return out;
}

}  // namespace quilta::nmhost
