#include "npapi/scriptable.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "base/js_number.h"
#include "npapi/binding_state.h"
#include "npapi/browser_funcs.h"

// The NPAPI binding converts NPVariants to and from script values; every rule (the busy
// refusal during dialogs, the page's origin, the argument rules) is the script layer's.

namespace quilta::npapi {
namespace {

constexpr char kDefaultResult[] = "default method return val";

const Member* Find(NPIdentifier name) {
  const auto& members = State().members;
  auto it = members.find(name);
  return it == members.end() ? nullptr : &it->second;
}

// A value from the page: strings are decoded from UTF-8 over exactly their byte count.
ScriptValue FromVariant(const NPVariant& v) {
  switch (v.type) {
    case NPVariantType_String: {
      const NPString& s = v.value.stringValue;
      if (s.UTF8Length == 0 || s.UTF8Characters == nullptr) return ScriptValue::OfText(Text());
      return ScriptValue::OfText(FromUtf8(std::string_view(s.UTF8Characters, s.UTF8Length)));
    }
    case NPVariantType_Int32:
      return ScriptValue::OfInt(v.value.intValue);
    case NPVariantType_Double:
      return ScriptValue::OfDouble(v.value.doubleValue);
    default:
      return ScriptValue::OfOther();
  }
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

ScriptablePluginObjectBase::ScriptablePluginObjectBase(NPP npp,
                                                       const std::optional<std::string>& pageUrl)
    : layer_(Surface::Npapi, pageUrl), npp_(npp) {}

bool ScriptablePluginObjectBase::SetProperty(NPIdentifier name, const NPVariant* value) {
  const Member* m = Find(name);
  if (m == nullptr || m->isMethod || value == nullptr) return false;
  return layer_.Set(m->prop, FromVariant(*value));
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

// The browser allocates the object for a live instance (NPP_GetValue): its page is that
// instance's.
NPObject* ScriptablePluginObject::_Allocate(NPP npp, NPClass*) {
  return new (std::nothrow) ScriptablePluginObject(npp, InstancePageUrl(npp));
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

// A script value into the browser's result (strings copied into browser memory as UTF-8;
// Void stays void).
static bool ToVariant(const ScriptValue& v, NPVariant* result) {
  if (v.kind == ScriptValue::Kind::Int) {
    SetInt(result, v.i);
    return true;
  }
  if (v.kind == ScriptValue::Kind::Void) {
    SetVoid(result);
    return true;
  }
  return SetString(result, ToUtf8(v.text));
}

bool ScriptablePluginObject::GetProperty(NPIdentifier name, NPVariant* result) {
  if (result == nullptr) return false;
  SetVoid(result);
  const Member* m = Find(name);
  if (m == nullptr || m->isMethod) return false;
  std::optional<ScriptValue> value = layer_.Get(m->prop);
  return value && ToVariant(*value, result);  // false for a write-only property
}

bool ScriptablePluginObject::Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount,
                                    NPVariant* result) {
  if (result == nullptr) return false;
  SetVoid(result);
  const Member* m = Find(name);
  if (m == nullptr || !m->isMethod) return false;
  // Only the arguments the method takes, and never past argCount.
  const uint32_t n = args == nullptr ? 0 : std::min<uint32_t>(argCount, static_cast<uint32_t>(Info(m->method).argc));
  std::vector<ScriptValue> values;
  values.reserve(n);
  for (uint32_t i = 0; i < n; ++i) values.push_back(FromVariant(args[i]));
  return ToVariant(layer_.Invoke(m->method, values), result);
}

bool ScriptablePluginObject::InvokeDefault(const NPVariant*, uint32_t, NPVariant* result) {
  if (result == nullptr) return false;
  return SetString(result, kDefaultResult);
}

}  // namespace quilta::npapi
