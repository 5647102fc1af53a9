#include "activex/variant.h"

#include <cmath>

namespace quilta::activex {

Text FromBstr(BSTR b) {
  if (b == nullptr) return Text();
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return FromPageUtf16(
      std::u16string_view(reinterpret_cast<const char16_t*>(b), SysStringLen(b)));
}

BSTR ToBstr(const Text& text) {
  const Text clean = FromPageUtf16(text);
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(clean.data()),
                           static_cast<UINT>(clean.size()));
}

ScriptValue FromVariant(const VARIANT& in) {
  const VARIANT* v = &in;
  if (V_VT(v) == (VT_VARIANT | VT_BYREF)) {
    if (V_VARIANTREF(v) == nullptr) return ScriptValue::OfOther();
    v = V_VARIANTREF(v);
  }
  const VARTYPE vt = V_VT(v);
  const bool byref = (vt & VT_BYREF) != 0;
  if (byref && V_BYREF(v) == nullptr) return ScriptValue::OfOther();
  switch (vt & ~VT_BYREF) {
    case VT_BSTR:
      return ScriptValue::OfText(FromBstr(byref ? *V_BSTRREF(v) : V_BSTR(v)));
    case VT_I4:
      return ScriptValue::OfInt(byref ? *V_I4REF(v) : V_I4(v));
    case VT_INT:
      return ScriptValue::OfInt(byref ? *V_INTREF(v) : V_INT(v));
    case VT_I2:
      return ScriptValue::OfInt(byref ? *V_I2REF(v) : V_I2(v));
    case VT_I1:
      return ScriptValue::OfInt(byref ? *V_I1REF(v) : V_I1(v));
    case VT_UI1:
      return ScriptValue::OfInt(byref ? *V_UI1REF(v) : V_UI1(v));
    case VT_UI2:
      return ScriptValue::OfInt(byref ? *V_UI2REF(v) : V_UI2(v));
    case VT_UI4:
    case VT_UINT: {
      const ULONG u = (vt & ~VT_BYREF) == VT_UI4 ? (byref ? *V_UI4REF(v) : V_UI4(v))
                                                  : (byref ? *V_UINTREF(v) : V_UINT(v));
      return ScriptValue::OfDouble(static_cast<double>(u));  // may exceed 32-bit signed
    }
    case VT_R8:
      return ScriptValue::OfDouble(byref ? *V_R8REF(v) : V_R8(v));
    case VT_R4:
      return ScriptValue::OfDouble(byref ? *V_R4REF(v) : V_R4(v));
    case VT_EMPTY:
      return ScriptValue();  // missing
    case VT_ERROR:
      return ScriptValue();  // an optional argument left out
    default:
      return ScriptValue::OfOther();
  }
}

bool ToVariant(const ScriptValue& v, VARIANT* out) {
  VariantInit(out);
  if (v.kind == ScriptValue::Kind::Void) return true;  // nothing: VT_EMPTY
  if (v.kind == ScriptValue::Kind::Int) {
    V_VT(out) = VT_I4;
    V_I4(out) = v.i;
    return true;
  }
  BSTR b = ToBstr(v.text);
  if (b == nullptr) return false;
  V_VT(out) = VT_BSTR;
  V_BSTR(out) = b;
  return true;
}

}  // namespace quilta::activex
