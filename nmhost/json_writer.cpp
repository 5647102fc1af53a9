// The JSON writer (json.h): no white space, numbers as JavaScript prints them, always valid
// UTF-8.
#include "nmhost/json.h"

#include "base/js_number.h"
#include "nmhost/json_utf8.h"

namespace quilta::nmhost {
namespace {

void WriteString(std::string* out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      const size_t len = utf8::SequenceLength(s, i);
      if (len == 0) {
        utf8::Append(out, utf8::kReplacement);
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

std::string WriteJson(const Json& value) {
  std::string out;
  Write(&out, value);
  return out;
}

}  // namespace quilta::nmhost
