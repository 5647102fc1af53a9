// Script-side values: their comparison and notation, and their conversion to and from the
// NPVariants the plug-in takes and returns.
#include <cstdio>
#include <string>

#include "tools/pagehost/host_browser.h"

namespace quilta::pagehost {

bool Value::operator==(const Value& o) const {
  auto isNum = [](Kind k) { return k == Kind::Int || k == Kind::Double; };
  if (isNum(kind) && isNum(o.kind)) {
    double a = kind == Kind::Int ? i : d, b = o.kind == Kind::Int ? o.i : o.d;
    return a == b;
  }
  if (kind != o.kind) return false;
  switch (kind) {
    case Kind::Bool: return b == o.b;
    case Kind::String: return s == o.s;
    default: return true;
  }
}

std::string Value::ToString() const {
  switch (kind) {
    case Kind::Void: return "void";
    case Kind::Null: return "null";
    case Kind::Bool: return b ? "true" : "false";
    case Kind::Int: return std::to_string(i);
    case Kind::Double: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", d);
      std::string t = buf;
      if (t.find_first_of(".en") == std::string::npos) t += ".0";
      return t;
    }
    case Kind::Object: return "[object]";
    case Kind::String: {
      std::string out = "\"";
      for (unsigned char c : s) {
        if (c == '"' || c == '\\') { out += '\\'; out += static_cast<char>(c); }
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else out += static_cast<char>(c);
      }
      return out + "\"";
    }
  }
  return "?";
}

NPVariant ToVariant(const Value& v, std::string* storage) {
  NPVariant r;
  r.value.objectValue = nullptr;
  switch (v.kind) {
    case Value::Kind::Void: r.type = NPVariantType_Void; break;
    case Value::Kind::Null: r.type = NPVariantType_Null; break;
    case Value::Kind::Bool: r.type = NPVariantType_Bool; r.value.boolValue = v.b; break;
    case Value::Kind::Int: r.type = NPVariantType_Int32; r.value.intValue = v.i; break;
    case Value::Kind::Double: r.type = NPVariantType_Double; r.value.doubleValue = v.d; break;
    case Value::Kind::Object: r.type = NPVariantType_Null; break;
    case Value::Kind::String:
      *storage = v.s;
      r.type = NPVariantType_String;
      // Not zero-terminated on purpose: the plug-in must use the byte count.
      r.value.stringValue.UTF8Characters = storage->data();
      r.value.stringValue.UTF8Length = static_cast<uint32_t>(storage->size());
      break;
  }
  return r;
}

Value FromVariant(const NPVariant& v) {
  Value r;
  switch (v.type) {
    case NPVariantType_Void: break;
    case NPVariantType_Null: r.kind = Value::Kind::Null; break;
    case NPVariantType_Bool: r = Value::Boolean(v.value.boolValue); break;
    case NPVariantType_Int32: r = Value::Int(v.value.intValue); break;
    case NPVariantType_Double: r = Value::Dbl(v.value.doubleValue); break;
    case NPVariantType_String:
      r = Value::Str(std::string(v.value.stringValue.UTF8Characters ? v.value.stringValue.UTF8Characters : "",
                                 v.value.stringValue.UTF8Length));
      break;
    case NPVariantType_Object: r.kind = Value::Kind::Object; break;
  }
  return r;
}

}  // namespace quilta::pagehost
