#include "diagnosis/json_reader.h"

#include <cstdint>

namespace quilta::diagnosis {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view t) : t_(t) {}

  std::optional<JsonValue> Document() {
    JsonValue v;
    if (!Value(v, 0)) return std::nullopt;
    Space();
    if (i_ != t_.size()) return std::nullopt;
    return v;
  }

 private:
  void Space() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'))
      ++i_;
  }

  bool Literal(std::string_view word) {
    if (t_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }

  bool Value(JsonValue& v, int depth) {
    if (depth > JsonValue::kMaxDepth) return false;
    Space();
    if (i_ >= t_.size()) return false;
    switch (t_[i_]) {
      case '{':
        return Object(v, depth);
      case '[':
        return Array(v, depth);
      case '"':
        v.kind = JsonValue::Kind::kString;
        return String(v.text);
      case 't':
        v.kind = JsonValue::Kind::kBool;
        v.boolean = true;
        return Literal("true");
      case 'f':
        v.kind = JsonValue::Kind::kBool;
        return Literal("false");
      case 'n':
        v.kind = JsonValue::Kind::kNull;
        return Literal("null");
      default:
        v.kind = JsonValue::Kind::kNumber;
        return Number(v.text);
    }
  }

  bool Object(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::kObject;
    ++i_;
    Space();
    if (i_ < t_.size() && t_[i_] == '}') return ++i_, true;
    for (;;) {
      Space();
      std::string key;
      if (i_ >= t_.size() || t_[i_] != '"' || !String(key)) return false;
      Space();
      if (i_ >= t_.size() || t_[i_] != ':') return false;
      ++i_;
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      v.keys.push_back(std::move(key));
      v.items.push_back(std::move(item));
      Space();
      if (i_ >= t_.size()) return false;
      if (t_[i_] == '}') return ++i_, true;
      if (t_[i_] != ',') return false;
      ++i_;
    }
  }

  bool Array(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::kArray;
    ++i_;
    Space();
    if (i_ < t_.size() && t_[i_] == ']') return ++i_, true;
    for (;;) {
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      v.items.push_back(std::move(item));
      Space();
      if (i_ >= t_.size()) return false;
      if (t_[i_] == ']') return ++i_, true;
      if (t_[i_] != ',') return false;
      ++i_;
    }
  }

  bool Number(std::string& out) {
    const size_t start = i_;
    const auto digits = [&] {
      const size_t from = i_;
      while (i_ < t_.size() && t_[i_] >= '0' && t_[i_] <= '9') ++i_;
      return i_ > from;
    };
    if (i_ < t_.size() && t_[i_] == '-') ++i_;
    if (i_ < t_.size() && t_[i_] == '0')
      ++i_;
    else if (!digits())
      return false;
    if (i_ < t_.size() && t_[i_] == '.' && (++i_, !digits())) return false;
    if (i_ < t_.size() && (t_[i_] == 'e' || t_[i_] == 'E')) {
      ++i_;
      if (i_ < t_.size() && (t_[i_] == '+' || t_[i_] == '-')) ++i_;
      if (!digits()) return false;
    }
    out.assign(t_.substr(start, i_ - start));
    return true;
  }

  bool Hex4(uint32_t* out) {
    if (i_ + 4 > t_.size()) return false;
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = t_[i_++];
      v <<= 4;
      if (c >= '0' && c <= '9')
        v |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        v |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        v |= static_cast<uint32_t>(c - 'A' + 10);
      else
        return false;
    }
    *out = v;
    return true;
  }

  static void Utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool String(std::string& out) {
    ++i_;  // the opening quote
    while (i_ < t_.size()) {
      const char c = t_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= t_.size()) return false;
      switch (t_[i_++]) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          uint32_t cp;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF && t_.substr(i_, 2) == "\\u") {
            const size_t back = i_;
            i_ += 2;
            uint32_t low;
            if (Hex4(&low) && low >= 0xDC00 && low <= 0xDFFF) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else {
              i_ = back;
            }
          }
          if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;  // a lone surrogate
          Utf8(out, cp);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  std::string_view t_;
  size_t i_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  if (kind != Kind::kObject) return nullptr;
  // A repeated key counts with its last value, as the browsers read it.
  for (size_t i = keys.size(); i-- > 0;)
    if (keys[i] == key) return &items[i];
  return nullptr;
}

std::optional<std::vector<std::string>> JsonValue::Strings() const {
  if (kind != Kind::kArray) return std::nullopt;
  std::vector<std::string> out;
  for (const JsonValue& item : items) {
    if (item.kind != Kind::kString) return std::nullopt;
    out.push_back(item.text);
  }
  return out;
}

std::optional<JsonValue> ReadJson(std::string_view text) { return Reader(text).Document(); }

}  // namespace quilta::diagnosis
