// One plug-in instance on a page as the host browser runs it: NPP_New and NPP_Destroy, the
// scriptable object, and the page's reads, writes and calls on it.
#include <deque>

#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/host_internal.h"

namespace quilta::pagehost {

Page::Page(Module& module, std::optional<std::string> url) : module_(module), url_(std::move(url)) {
  npp_.ndata = this;
  npp_.pdata = nullptr;
}

Page::~Page() {
  if (alive_) Destroy();
  if (window_) host::ReleaseObject(window_);
}

NPError Page::New() {
  static char mime[] = "application/ZELB-Quilta-plugin";
  char* argn[] = {const_cast<char*>("type")};
  char* argv[] = {mime};
  NPError err = module_.funcs().newp(mime, &npp_, NP_EMBED, 1, argn, argv, nullptr);
  alive_ = err == NPERR_NO_ERROR;
  return err;
}

NPError Page::Destroy() {
  if (object_) {
    host::ReleaseObject(object_);
    object_ = nullptr;
  }
  NPError err = module_.funcs().destroy(&npp_, nullptr);
  alive_ = false;
  return err;
}

NPError Page::GetValue(NPPVariable variable, void* value) {
  return module_.funcs().getvalue(&npp_, variable, value);
}

NPObject* Page::Object() {
  if (object_ == nullptr) {
    NPObject* obj = nullptr;
    if (GetValue(NPPVpluginScriptableNPObject, &obj) == NPERR_NO_ERROR) object_ = obj;
  }
  return object_;
}

bool Page::HasMethod(const std::string& name) {
  NPObject* o = Object();
  return o && o->_class->hasMethod(o, Identifier(name));
}

bool Page::HasProperty(const std::string& name) {
  NPObject* o = Object();
  return o && o->_class->hasProperty(o, Identifier(name));
}

bool Page::Get(const std::string& name, Value* out) {
  NPObject* o = Object();
  if (o == nullptr) return false;
  NPVariant r;
  r.type = NPVariantType_Void;
  bool ok = o->_class->getProperty(o, Identifier(name), &r);
  lastUtf8Length_ = r.type == NPVariantType_String ? r.value.stringValue.UTF8Length : 0;
  *out = ok ? FromVariant(r) : Value();
  host::ReleaseVariantValue(&r);
  return ok;
}

bool Page::Set(const std::string& name, const Value& value) {
  NPObject* o = Object();
  if (o == nullptr) return false;
  std::string storage;
  NPVariant v = ToVariant(value, &storage);
  return o->_class->setProperty(o, Identifier(name), &v);
}

namespace {
bool CallWith(NPObject* o, NPIdentifier name, bool isDefault, const std::vector<Value>& args,
              Value* out, uint32_t* utf8Length) {
  std::deque<std::string> storage;
  std::vector<NPVariant> vars;
  for (const Value& a : args) {
    storage.emplace_back();
    vars.push_back(ToVariant(a, &storage.back()));
  }
  NPVariant r;
  r.type = NPVariantType_Void;
  const NPVariant* argp = vars.empty() ? nullptr : vars.data();
  bool ok = isDefault ? o->_class->invokeDefault(o, argp, static_cast<uint32_t>(vars.size()), &r)
                      : o->_class->invoke(o, name, argp, static_cast<uint32_t>(vars.size()), &r);
  *utf8Length = r.type == NPVariantType_String ? r.value.stringValue.UTF8Length : 0;
  *out = ok ? FromVariant(r) : Value();
  host::ReleaseVariantValue(&r);
  return ok;
}
}  // namespace

bool Page::Invoke(const std::string& name, const std::vector<Value>& args, Value* out) {
  NPObject* o = Object();
  return o && CallWith(o, Identifier(name), false, args, out, &lastUtf8Length_);
}

bool Page::InvokeDefault(const std::vector<Value>& args, Value* out) {
  NPObject* o = Object();
  return o && CallWith(o, nullptr, true, args, out, &lastUtf8Length_);
}

}  // namespace quilta::pagehost
