#include "tools/pagehost/host_browser.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace quilta::pagehost {
namespace {

// ---- Identifiers ----
struct Ident {
  bool isString;
  std::string s;
  int32_t i;
};
std::deque<Ident>& IdentStore() {
  static std::deque<Ident> store;
  return store;
}
std::map<std::string, Ident*>& StringIds() {
  static std::map<std::string, Ident*> ids;
  return ids;
}
std::map<int32_t, Ident*>& IntIds() {
  static std::map<int32_t, Ident*> ids;
  return ids;
}

NPIdentifier StringId(const char* name) {
  if (name == nullptr) return nullptr;
  auto& ids = StringIds();
  auto it = ids.find(name);
  if (it != ids.end()) return it->second;
  IdentStore().push_back(Ident{true, name, 0});
  Ident* id = &IdentStore().back();
  ids.emplace(name, id);
  return id;
}

// ---- Objects ----
std::set<NPObject*>& Live() {
  static std::set<NPObject*> live;
  return live;
}

NPObject* CreateObject(NPP npp, NPClass* cls) {
  if (cls == nullptr) return nullptr;
  NPObject* obj = cls->allocate ? cls->allocate(npp, cls)
                                : static_cast<NPObject*>(std::malloc(sizeof(NPObject)));
  if (obj == nullptr) return nullptr;
  obj->_class = cls;
  obj->referenceCount = 1;
  Live().insert(obj);
  return obj;
}

NPObject* RetainObject(NPObject* obj) {
  if (obj) ++obj->referenceCount;
  return obj;
}

void ReleaseObject(NPObject* obj) {
  if (obj == nullptr) return;
  if (obj->referenceCount == 0) {
    std::fprintf(stderr, "pagehost: object %p released more often than retained\n",
                 static_cast<void*>(obj));
    std::abort();
  }
  if (--obj->referenceCount == 0) {
    Live().erase(obj);
    if (obj->_class->deallocate) obj->_class->deallocate(obj);
    else std::free(obj);
  }
}

void ReleaseVariantValue(NPVariant* v) {
  if (v == nullptr) return;
  if (v->type == NPVariantType_String) {
    std::free(const_cast<char*>(v->value.stringValue.UTF8Characters));
  } else if (v->type == NPVariantType_Object) {
    ReleaseObject(v->value.objectValue);
  }
  v->type = NPVariantType_Void;
  v->value.objectValue = nullptr;
}

NPVariant HostString(const std::string& s) {
  auto* buf = static_cast<char*>(std::malloc(s.size() + 1));
  std::memcpy(buf, s.data(), s.size());
  buf[s.size()] = '\0';
  NPVariant v;
  v.type = NPVariantType_String;
  v.value.stringValue.UTF8Characters = buf;
  v.value.stringValue.UTF8Length = static_cast<uint32_t>(s.size());
  return v;
}

// The page's window and its location: window.location.href is all the plug-in reads.
struct HostObject : NPObject {
  bool isWindow = true;
  std::string url;
};

NPObject* HostAllocate(NPP, NPClass*) { return new HostObject(); }
void HostDeallocate(NPObject* obj) { delete static_cast<HostObject*>(obj); }
NPClass* HostClass();

bool HostHasProperty(NPObject* obj, NPIdentifier name) {
  auto* o = static_cast<HostObject*>(obj);
  return name == StringId(o->isWindow ? "location" : "href");
}

bool HostGetProperty(NPObject* obj, NPIdentifier name, NPVariant* result) {
  auto* o = static_cast<HostObject*>(obj);
  if (o->isWindow && name == StringId("location")) {
    auto* loc = static_cast<HostObject*>(CreateObject(nullptr, HostClass()));
    loc->isWindow = false;
    loc->url = o->url;
    result->type = NPVariantType_Object;
    result->value.objectValue = loc;
    return true;
  }
  if (!o->isWindow && name == StringId("href")) {
    *result = HostString(o->url);
    return true;
  }
  return false;
}

NPClass* HostClass() {
  static NPClass cls = {NP_CLASS_STRUCT_VERSION, HostAllocate, HostDeallocate, nullptr, nullptr,
                        nullptr, nullptr, HostHasProperty, HostGetProperty, nullptr, nullptr,
                        nullptr, nullptr};
  return &cls;
}

Page* PageOf(NPP npp) { return npp ? static_cast<Page*>(npp->ndata) : nullptr; }

// ---- The browser function table ----
void* MemAlloc(uint32_t size) { return std::malloc(size == 0 ? 1 : size); }
void MemFree(void* p) { std::free(p); }

NPError GetValue(NPP npp, NPNVariable variable, void* value) {
  Page* page = PageOf(npp);
  switch (variable) {
    case NPNVWindowNPObject: {
      if (page == nullptr || !page->url()) return NPERR_GENERIC_ERROR;  // no URL to give
      if (page->window_ == nullptr) {
        auto* w = static_cast<HostObject*>(CreateObject(npp, HostClass()));
        w->url = *page->url();
        page->window_ = w;
      }
      *static_cast<NPObject**>(value) = RetainObject(page->window_);
      return NPERR_NO_ERROR;
    }
    case NPNVSupportsWindowless:
    case NPNVjavascriptEnabledBool:
      *static_cast<NPBool*>(value) = 1;
      return NPERR_NO_ERROR;
    default:
      return NPERR_GENERIC_ERROR;
  }
}

NPError SetValue(NPP npp, NPPVariable variable, void* value) {
  Page* page = PageOf(npp);
  if (page == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
  if (variable == NPPVpluginWindowBool) {
    page->windowless_ = value == nullptr;
    return NPERR_NO_ERROR;
  }
  return NPERR_GENERIC_ERROR;
}

void GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* ids) {
  for (int32_t k = 0; k < count; ++k) ids[k] = StringId(names[k]);
}

NPIdentifier GetIntIdentifier(int32_t v) {
  auto& ids = IntIds();
  auto it = ids.find(v);
  if (it != ids.end()) return it->second;
  IdentStore().push_back(Ident{false, {}, v});
  ids.emplace(v, &IdentStore().back());
  return &IdentStore().back();
}

bool IdentifierIsString(NPIdentifier id) { return id && static_cast<Ident*>(id)->isString; }

NPUTF8* Utf8FromIdentifier(NPIdentifier id) {
  if (!IdentifierIsString(id)) return nullptr;
  const std::string& s = static_cast<Ident*>(id)->s;
  auto* buf = static_cast<char*>(std::malloc(s.size() + 1));
  std::memcpy(buf, s.c_str(), s.size() + 1);
  return buf;
}

int32_t IntFromIdentifier(NPIdentifier id) {
  return id && !static_cast<Ident*>(id)->isString ? static_cast<Ident*>(id)->i : INT32_MIN;
}

bool Invoke(NPP, NPObject* o, NPIdentifier n, const NPVariant* a, uint32_t c, NPVariant* r) {
  return o && o->_class->invoke && o->_class->invoke(o, n, a, c, r);
}
bool InvokeDefault(NPP, NPObject* o, const NPVariant* a, uint32_t c, NPVariant* r) {
  return o && o->_class->invokeDefault && o->_class->invokeDefault(o, a, c, r);
}
bool Evaluate(NPP, NPObject*, NPString*, NPVariant*) { return false; }
bool GetProperty(NPP, NPObject* o, NPIdentifier n, NPVariant* r) {
  return o && o->_class->getProperty && o->_class->getProperty(o, n, r);
}
bool SetProperty(NPP, NPObject* o, NPIdentifier n, const NPVariant* v) {
  return o && o->_class->setProperty && o->_class->setProperty(o, n, v);
}
bool RemoveProperty(NPP, NPObject* o, NPIdentifier n) {
  return o && o->_class->removeProperty && o->_class->removeProperty(o, n);
}
bool HasProperty(NPP, NPObject* o, NPIdentifier n) {
  return o && o->_class->hasProperty && o->_class->hasProperty(o, n);
}
bool HasMethod(NPP, NPObject* o, NPIdentifier n) {
  return o && o->_class->hasMethod && o->_class->hasMethod(o, n);
}
void SetException(NPObject*, const NPUTF8* message) {
  std::fprintf(stderr, "pagehost: exception from plug-in: %s\n", message ? message : "");
}

NPNetscapeFuncs MakeTable(uint16_t size) {
  NPNetscapeFuncs t{};
  t.size = size != 0 && size < sizeof(t) ? size : static_cast<uint16_t>(sizeof(t));
  t.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
  t.memalloc = MemAlloc;
  t.memfree = MemFree;
  t.getvalue = GetValue;
  t.setvalue = SetValue;
  t.getstringidentifier = StringId;
  t.getstringidentifiers = GetStringIdentifiers;
  t.getintidentifier = GetIntIdentifier;
  t.identifierisstring = IdentifierIsString;
  t.utf8fromidentifier = Utf8FromIdentifier;
  t.intfromidentifier = IntFromIdentifier;
  t.createobject = CreateObject;
  t.retainobject = RetainObject;
  t.releaseobject = ReleaseObject;
  t.invoke = Invoke;
  t.invokeDefault = InvokeDefault;
  t.evaluate = Evaluate;
  t.getproperty = GetProperty;
  t.setproperty = SetProperty;
  t.removeproperty = RemoveProperty;
  t.hasproperty = HasProperty;
  t.hasmethod = HasMethod;
  t.releasevariantvalue = ReleaseVariantValue;
  t.setexception = SetException;
  // A browser built with a smaller table leaves the slots beyond its size unset.
  auto* bytes = reinterpret_cast<unsigned char*>(&t);
  std::memset(bytes + t.size, 0, sizeof(t) - t.size);
  return t;
}

NPNetscapeFuncs g_table;

}  // namespace

// ---- Value ----

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

NPIdentifier Identifier(const std::string& name) { return StringId(name.c_str()); }

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

size_t LiveObjects() { return Live().size(); }

void Release(NPObject* obj) { ReleaseObject(obj); }

// ---- Module ----

Module* Module::Load(const std::string& path, std::string* error, uint16_t tableSize,
                     bool deepBind) {
  static Module* loaded = nullptr;
  if (loaded != nullptr) {
    if (loaded->path_ == path) return loaded;
    *error = "another plug-in module is already loaded: " + loaded->path_;
    return nullptr;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (deepBind ? RTLD_DEEPBIND : 0));
  if (handle == nullptr) {
    *error = std::string("cannot load the plug-in: ") + dlerror();
    return nullptr;
  }
  auto* m = new Module();
  m->path_ = path;
  m->handle_ = handle;
  auto mime = reinterpret_cast<NP_GetMIMEDescriptionFunc>(dlsym(handle, "NP_GetMIMEDescription"));
  auto init = reinterpret_cast<NP_InitializeFunc>(dlsym(handle, "NP_Initialize"));
  if (mime == nullptr || init == nullptr || dlsym(handle, "NP_Shutdown") == nullptr) {
    *error = "not an NPAPI plug-in module (entry points missing): " + path;
    delete m;
    return nullptr;
  }
  g_table = MakeTable(tableSize);
  m->funcs_ = NPPluginFuncs{};
  m->funcs_.size = sizeof(NPPluginFuncs);
  NPError err = init(&g_table, &m->funcs_);
  if (err != NPERR_NO_ERROR) {
    *error = "NP_Initialize failed with error " + std::to_string(err);
    delete m;
    return nullptr;
  }
  loaded = m;
  return m;
}

const char* Module::MimeDescription() const {
  auto f = reinterpret_cast<NP_GetMIMEDescriptionFunc>(Symbol("NP_GetMIMEDescription"));
  return f ? f() : nullptr;
}

NPError Module::GetModuleValue(NPPVariable variable, void* value) const {
  auto f = reinterpret_cast<NP_GetValueFunc>(Symbol("NP_GetValue"));
  return f ? f(nullptr, variable, value) : NPERR_GENERIC_ERROR;
}

void* Module::Symbol(const char* name) const { return dlsym(handle_, name); }

NPError Module::Shutdown() const {
  auto f = reinterpret_cast<NP_ShutdownFunc>(Symbol("NP_Shutdown"));
  return f ? f() : NPERR_GENERIC_ERROR;
}

// ---- Page ----

Page::Page(Module& module, std::optional<std::string> url) : module_(module), url_(std::move(url)) {
  npp_.ndata = this;
  npp_.pdata = nullptr;
}

Page::~Page() {
  if (alive_) Destroy();
  if (window_) ReleaseObject(window_);
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
    ReleaseObject(object_);
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
  ReleaseVariantValue(&r);
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
  ReleaseVariantValue(&r);
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
