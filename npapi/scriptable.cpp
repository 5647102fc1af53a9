#include "npapi/scriptable.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "core/atm_core.h"
#include "core/js_number.h"
#include "npapi/binding_state.h"
#include "npapi/browser_funcs.h"
#include "npapi/page_origin.h"
#include "quilta_config.h"

// Script calls while one of our modal dialogs is open. The browser keeps running its event
// loop while a dialog waits for the customer, so a page script may call in meanwhile. Such a
// call is refused and changes nothing, not even ErrorInfo: a method answers status 6009
// (status::kBusy, read as "Other Error! (1779)" if the page maps it itself), a property write
// answers false. Property reads still work; they change nothing.

namespace quilta::npapi {
namespace {

constexpr char kDefaultResult[] = "default method return val";

const Member* Find(NPIdentifier name) {
  const auto& members = State().members;
  auto it = members.find(name);
  return it == members.end() ? nullptr : &it->second;
}

bool Busy() { return CAtmCore::Instance().modalDepth > 0; }

// A JavaScript number as the page would print it (String(d)). NaN and infinities have no
// decimal text.
std::optional<std::string> NumberText(double d) { return JsNumberToString(d); }

// A value from the page as text: strings are decoded from UTF-8 over exactly their byte
// count, numbers become their decimal text; anything else has no text.
std::optional<Text> VariantText(const NPVariant& v) {
  switch (v.type) {
    case NPVariantType_String: {
      const NPString& s = v.value.stringValue;
      if (s.UTF8Length == 0 || s.UTF8Characters == nullptr) return Text();
      return FromUtf8(std::string_view(s.UTF8Characters, s.UTF8Length));
    }
    case NPVariantType_Int32:
      return AsciiText(std::to_string(v.value.intValue));
    case NPVariantType_Double: {
      std::optional<std::string> t = NumberText(v.value.doubleValue);
      if (!t) return std::nullopt;
      return AsciiText(*t);
    }
    default:
      return std::nullopt;
  }
}

// A value from the page as a 32-bit integer: Int32, or a Double holding a whole number in
// range (engines hand every script number over as a Double).
std::optional<int32_t> VariantInt(const NPVariant& v) {
  if (v.type == NPVariantType_Int32) return v.value.intValue;
  if (v.type == NPVariantType_Double) {
    double d = v.value.doubleValue;
    if (std::isfinite(d) && d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0) {
      return static_cast<int32_t>(d);
    }
  }
  return std::nullopt;
}

void SetVoid(NPVariant* v) {
  v->type = NPVariantType_Void;
  v->value.objectValue = nullptr;
}

void SetInt(NPVariant* v, int32_t n) {
  v->type = NPVariantType_Int32;
  v->value.intValue = n;
}

// Copies UTF-8 text into browser memory. False (result left void) when the browser cannot
// allocate it.
bool SetString(NPVariant* v, std::string_view utf8) {
  auto* buf = static_cast<char*>(npn::MemAlloc(static_cast<uint32_t>(utf8.size() + 1)));
  if (buf == nullptr) {
    SetVoid(v);
    return false;
  }
  if (!utf8.empty()) std::memcpy(buf, utf8.data(), utf8.size());
  buf[utf8.size()] = '\0';
  v->type = NPVariantType_String;
  v->value.stringValue.UTF8Characters = buf;
  v->value.stringValue.UTF8Length = static_cast<uint32_t>(utf8.size());
  return true;
}

ScriptablePluginObjectBase* Self(NPObject* obj) {
  return static_cast<ScriptablePluginObjectBase*>(obj);
}

}  // namespace

// ---- Base class ----

bool ScriptablePluginObjectBase::SetProperty(NPIdentifier name, const NPVariant* value) {
  const Member* m = Find(name);
  if (m == nullptr || m->isMethod || value == nullptr) return false;
  if (Busy()) return false;
  CAtmCore& core = CAtmCore::Instance();
  const PropInfo& info = Info(m->prop);
  if (!info.writable()) return false;
  if (info.type == ValueType::Int) {
    std::optional<int32_t> n = VariantInt(*value);
    return n && core.PutInt(m->prop, *n);
  }
  std::optional<Text> text = VariantText(*value);
  return text && core.PutText(m->prop, *text);
}

void ScriptablePluginObjectBase::_Deallocate(NPObject* obj) { delete Self(obj); }
void ScriptablePluginObjectBase::_Invalidate(NPObject* obj) { Self(obj)->Invalidate(); }
bool ScriptablePluginObjectBase::_HasMethod(NPObject* obj, NPIdentifier name) {
  return Self(obj)->HasMethod(name);
}
bool ScriptablePluginObjectBase::_Invoke(NPObject* obj, NPIdentifier name, const NPVariant* args,
                                         uint32_t argCount, NPVariant* result) {
  return Self(obj)->Invoke(name, args, argCount, result);
}
bool ScriptablePluginObjectBase::_InvokeDefault(NPObject* obj, const NPVariant* args,
                                                uint32_t argCount, NPVariant* result) {
  return Self(obj)->InvokeDefault(args, argCount, result);
}
bool ScriptablePluginObjectBase::_HasProperty(NPObject* obj, NPIdentifier name) {
  return Self(obj)->HasProperty(name);
}
bool ScriptablePluginObjectBase::_GetProperty(NPObject* obj, NPIdentifier name,
                                              NPVariant* result) {
  return Self(obj)->GetProperty(name, result);
}
bool ScriptablePluginObjectBase::_SetProperty(NPObject* obj, NPIdentifier name,
                                              const NPVariant* value) {
  return Self(obj)->SetProperty(name, value);
}
bool ScriptablePluginObjectBase::_RemoveProperty(NPObject* obj, NPIdentifier name) {
  return Self(obj)->RemoveProperty(name);
}
bool ScriptablePluginObjectBase::_Enumerate(NPObject* obj, NPIdentifier** value,
                                            uint32_t* count) {
  return Self(obj)->Enumerate(value, count);
}
bool ScriptablePluginObjectBase::_Construct(NPObject* obj, const NPVariant* args,
                                            uint32_t argCount, NPVariant* result) {
  return Self(obj)->Construct(args, argCount, result);
}

// ---- The page's object ----

NPObject* ScriptablePluginObject::_Allocate(NPP npp, NPClass*) {
  return new (std::nothrow) ScriptablePluginObject(npp);
}

NPClass* ScriptablePluginObject::Class() {
  static NPClass cls = {
      NP_CLASS_STRUCT_VERSION, _Allocate,       _Deallocate,     _Invalidate,  _HasMethod,
      _Invoke,                 _InvokeDefault,  _HasProperty,    _GetProperty, _SetProperty,
      _RemoveProperty,         _Enumerate,      _Construct,
  };
  return &cls;
}

bool ScriptablePluginObject::HasMethod(NPIdentifier name) {
  const Member* m = Find(name);
  return m != nullptr && m->isMethod;
}

bool ScriptablePluginObject::HasProperty(NPIdentifier name) {
  const Member* m = Find(name);
  return m != nullptr && !m->isMethod;
}

bool ScriptablePluginObject::GetProperty(NPIdentifier name, NPVariant* result) {
  if (result == nullptr) return false;
  SetVoid(result);
  const Member* m = Find(name);
  if (m == nullptr || m->isMethod) return false;
  PropValue value;
  if (!CAtmCore::Instance().GetProperty(m->prop, &value)) return false;  // write-only
  if (value.type == ValueType::Int) {
    SetInt(result, value.number);
    return true;
  }
  return SetString(result, ToUtf8(value.text));
}

bool ScriptablePluginObject::Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount,
                                    NPVariant* result) {
  if (result == nullptr) return false;
  SetVoid(result);
  const Member* m = Find(name);
  if (m == nullptr || !m->isMethod) return false;
  if (Busy()) {
    SetInt(result, status::kBusy);  // refused; ErrorInfo untouched
    return true;
  }
  CAtmCore& core = CAtmCore::Instance();
  if (m->method == Method::ConnectCard &&
      !CheckPageOrigin(State().pageUrl, config::kBankDomain)) {
    SetInt(result, core.Map(status::kUrlNotSupported));  // no card call is made
    return true;
  }

  // Only the arguments the method takes, and never past argCount.
  const MethodInfo& info = Info(m->method);
  std::vector<std::optional<Text>> texts;
  uint32_t n = args == nullptr ? 0 : std::min<uint32_t>(argCount, static_cast<uint32_t>(info.argc));
  texts.reserve(n);
  for (uint32_t i = 0; i < n; ++i) texts.push_back(VariantText(args[i]));

  CallResult r = core.Call(m->method, texts);
  if (r.isText) return SetString(result, ToUtf8(r.text));
  SetInt(result, r.status);
  return true;
}

bool ScriptablePluginObject::InvokeDefault(const NPVariant*, uint32_t, NPVariant* result) {
  if (result == nullptr) return false;
  return SetString(result, kDefaultResult);
}

}  // namespace quilta::npapi
